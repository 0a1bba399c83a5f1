import { Action, ActionPanel, Detail, environment, showView } from "vantrel-commands";

// A detail page: Markdown with a title and an action that changes it.
export default function Command() {
  return showView({ visits: 1 }, (state, setState) =>
    Detail({
      navigationTitle: "Detail",
      markdown: [
        `# ${environment.extensionName}`,
        "",
        "This page is **Markdown**. Edit `src/index.ts`, run `npm run build`, and run the command again.",
        "",
        `Shown ${state.visits} time${state.visits === 1 ? "" : "s"}.`,
      ].join("\n"),
      actions: ActionPanel(Action({ title: "Show Again", onAction: () => setState({ visits: state.visits + 1 }) })),
    }),
  );
}
