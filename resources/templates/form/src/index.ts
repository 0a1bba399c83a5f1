import { Form, FormValues, showToast, showView, Toast } from "vantrel-commands";

// A form: a few fields; submitting it (Ctrl+Enter) hands every field's value,
// by its id, to onSubmit, which answers with a toast.
export default function Command() {
  return showView({ sent: 0 }, (state, setState) =>
    Form(
      {
        navigationTitle: "Form",
        submitTitle: "Submit",
        onSubmit: async (values: FormValues) => {
          setState({ sent: state.sent + 1 });
          const name = typeof values.name === "string" && values.name !== "" ? values.name : "nobody";
          await showToast({ style: Toast.Style.Success, title: `Hello, ${name}`, message: values.subscribe ? "Subscribed" : undefined });
        },
      },
      Form.TextField({ id: "name", title: "Name", placeholder: "Your name" }),
      Form.TextArea({ id: "notes", title: "Notes", placeholder: "Anything else?" }),
      Form.Checkbox({ id: "subscribe", title: "Updates", label: "Send me updates", value: false }),
      Form.Dropdown(
        { id: "color", title: "Colour", value: "blue", storeValue: true },
        Form.Dropdown.Item({ value: "red", title: "Red" }),
        Form.Dropdown.Item({ value: "blue", title: "Blue" }),
      ),
    ),
  );
}
