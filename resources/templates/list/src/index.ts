import { render } from "./render";

const fruits = [
  { id: "apple", title: "Apple", subtitle: "Crisp", accessory: "🍎" },
  { id: "banana", title: "Banana", subtitle: "Sweet", accessory: "🍌" },
  { id: "cherry", title: "Cherry", subtitle: "Small", accessory: "🍒" },
];

// A list: one section of items, each with an action.
export default async function Command() {
  await render({
    kind: "listView",
    nodeId: "fruits",
    navigationTitle: "Fruits",
    searchBarPlaceholder: "Search fruits",
    sections: [
      {
        kind: "listViewSection",
        nodeId: "all",
        title: "All Fruits",
        items: fruits.map((fruit) => ({
          kind: "listViewItem",
          nodeId: fruit.id,
          title: fruit.title,
          subtitle: fruit.subtitle,
          accessoryTitle: fruit.accessory,
          icon: { imageData: "extension-icon.png" },
          actions: { sections: [{ items: [{ id: fruit.id, title: `Pick ${fruit.title}`, onAction: "pick" }] }] },
        })),
      },
    ],
  });
}
