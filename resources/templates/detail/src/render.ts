import { call } from "vantrel-commands";

// The view a command shows is a tree of plain objects sent with "ui" /
// "render": a "commandView" root whose body holds the views and whose
// "selectedView" names the one on screen. Each node carries its kind, an id
// ("nodeId") and its own JSON Pointer inside the tree ("path").

export type ViewNode = { kind: string; nodeId: string; [property: string]: unknown };

function withPaths(value: unknown, path: string): unknown {
  if (Array.isArray(value)) return value.map((item, index) => withPaths(item, `${path}/${index}`));
  if (value === null || typeof value !== "object") return value;
  const node: Record<string, unknown> = {};
  for (const [key, child] of Object.entries(value as Record<string, unknown>))
    node[key] = withPaths(child, `${path}/${key.replace(/~/g, "~0").replace(/\//g, "~1")}`);
  if ("kind" in node) node.path = path;
  return node;
}

// Shows `view`: the whole tree, with a patch that replaces everything.
export async function render(view: ViewNode): Promise<void> {
  const model = withPaths(
    { kind: "commandView", nodeId: "root", body: [view], selectedView: { value: view.nodeId, id: "selectedView" } },
    "",
  );
  await call("ui", "render", { model, patch: [{ op: "replace", path: "", value: model }] });
}
