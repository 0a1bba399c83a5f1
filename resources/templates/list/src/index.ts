import { Action, ActionPanel, List, showToast, showView, Toast } from "vantrel-commands";

const fruits = [
  { id: "apple", title: "Apple", subtitle: "Crisp", accessory: "🍎", keywords: ["red", "green"] },
  { id: "banana", title: "Banana", subtitle: "Sweet", accessory: "🍌", keywords: ["yellow"] },
  { id: "cherry", title: "Cherry", subtitle: "Small", accessory: "🍒", keywords: ["red"] },
];

// A list: one section of items, each with actions. Typing filters the items
// by title and keywords; Return runs an item's first action.
export default function Command() {
  return showView({ picked: [] as string[] }, (state, setState) =>
    List(
      { navigationTitle: "Fruits", searchBarPlaceholder: "Search fruits" },
      List.Section(
        { title: "All Fruits", subtitle: state.picked.length ? `${state.picked.length} picked` : undefined },
        fruits.map((fruit) =>
          List.Item({
            id: fruit.id,
            title: fruit.title,
            subtitle: fruit.subtitle,
            accessoryTitle: state.picked.includes(fruit.id) ? `${fruit.accessory} ✓` : fruit.accessory,
            icon: "extension-icon.png",
            keywords: fruit.keywords,
            actions: ActionPanel(
              Action({
                title: `Pick ${fruit.title}`,
                onAction: async () => {
                  setState({ picked: [...state.picked, fruit.id] });
                  await showToast({ style: Toast.Style.Success, title: `Picked ${fruit.title}` });
                },
              }),
              Action.CopyToClipboard({ title: "Copy Name", content: fruit.title }),
            ),
          }),
        ),
      ),
    ),
  );
}
