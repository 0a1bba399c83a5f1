import { render } from "./render";

// A form: a few fields and a submit action; "submit" receives every field's
// value by its id.
export default async function Command() {
  await render({
    kind: "formView",
    nodeId: "form",
    navigationTitle: "Form",
    submitTitle: "Submit",
    onSubmit: "submit",
    items: [
      { kind: "formViewTextField", nodeId: "name", title: "Name", placeholder: "Your name" },
      { kind: "formViewTextArea", nodeId: "notes", title: "Notes", placeholder: "Anything else?" },
      { kind: "formViewCheckbox", nodeId: "subscribe", title: "Updates", checkboxTitle: "Send me updates", value: false },
    ],
  });
}
