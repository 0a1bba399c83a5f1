import { environment } from "vantrel-commands";
import { render } from "./render";

// A detail page: Markdown with a title.
export default async function Command() {
  await render({
    kind: "detailView",
    nodeId: "detail",
    navigationTitle: "Detail",
    markdown: [
      `# ${environment.extensionName}`,
      "",
      "This page is **Markdown**. Edit `src/index.ts`, run `npm run build`, and run the command again.",
    ].join("\n"),
  });
}
