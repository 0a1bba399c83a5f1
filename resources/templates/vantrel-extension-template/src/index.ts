import { debug, environment, showToast, Toast } from "vantrel-commands";

// A command without a view: it runs, says something and ends.
export default async function Command() {
  await debug.log("Running", environment.commandName, "of", environment.extensionName);
  await showToast({ style: Toast.Style.Success, title: "Hello", message: `from ${environment.extensionName}` });
}
