// Types of the API a command imports as "vantrel-commands":
//
//   import { showToast, Toast } from "vantrel-commands";
//   export default async function Command() {
//     await showToast({ style: Toast.Style.Success, title: "Done" });
//   }
//
// The command's script is CommonJS with "vantrel-commands" left external; its
// default export is the command's function.

/** A preference of the launched command, as the user set it. */
export interface Preference {
  value?: unknown;
  default?: unknown;
  required: boolean;
  type: "textfield" | "password";
}

/** What the launcher tells the command when it starts. */
export interface Environment {
  vantrelVersion: string;
  /** The extension's name (the "name" of its package.json). */
  extensionName: string;
  /** The file base name of the running command, null when there is none. */
  commandName: string | null;
  preferences: Record<string, Preference>;
  vars: Record<string, unknown>;
}

/** The environment of the running command (set before the command's function runs). */
export const environment: Environment;

export type ToastStyleName = "success" | "failure" | "animated";

/** The toast on screen; setting a property updates it. */
export declare class Toast {
  constructor(options: Toast.Options);
  style: ToastStyleName;
  title: string;
  message?: string;
  show(): Promise<void>;
  hide(): Promise<void>;
}

export declare namespace Toast {
  const Style: { readonly Success: "success"; readonly Failure: "failure"; readonly Animated: "animated" };
  type Style = ToastStyleName;
  interface Options {
    style?: ToastStyleName;
    title: string;
    message?: string;
  }
}

export const ToastStyle: typeof Toast.Style;

/** Shows a toast in the launcher window (the command's output under `vantrel run`). */
export function showToast(options: Toast.Options | string): Promise<Toast>;
/** Hides the toast on screen. */
export function hideToast(): Promise<void>;
/** Shows a short heads-up message. */
export function showHUD(title: string): Promise<void>;

export const debug: {
  /** Answers "pong". */
  ping(): Promise<string>;
  /** Writes the values, joined with " – ", to the command's log. */
  log(...values: unknown[]): Promise<void>;
};

export const utils: {
  uuid(): Promise<string>;
  uuids(count: number): Promise<string[]>;
  /** Base64 of the UTF-8 bytes of the text. */
  base64Encode(input: string): Promise<string>;
  /** The UTF-8 text of Base64 data. */
  base64Decode(input: string): Promise<string>;
};

/** One call of the launcher's API by namespace and method. */
export function call(
  namespace: "debug" | "ui" | "net" | "app" | "fs" | "utils",
  method: string,
  args?: Record<string, unknown>,
): Promise<unknown>;

// MARK: Opening, clipboard, storage, timers

/**
 * Opens a URL (anything with a scheme) with the desktop's handler, or a file
 * with its default application; with `application` (a desktop-entry id such
 * as "org.gnome.TextEditor", or its name, "Text Editor") that application
 * opens it.
 */
export function open(target: string, application?: string): Promise<void>;
/** Starts an application by desktop-entry id or name, handing it URLs or absolute paths. */
export function openApplication(name: string, args?: string[]): Promise<void>;
/** Shows files selected in the desktop's file manager. */
export function showInFileManager(paths: string | string[]): Promise<void>;

export const Clipboard: {
  /**
   * Puts text on the clipboard. The launcher confirms with "Copied NAME to
   * clipboard" (or "Copied to clipboard"): a toast, or with closeWindow a HUD
   * after the window closes.
   */
  copy(text: string, options?: { name?: string; closeWindow?: boolean }): Promise<void>;
  clear(): Promise<void>;
};

/** Values kept for the extension between runs (any JSON value). */
export const LocalStorage: {
  allItems(): Promise<Record<string, unknown>>;
  getItem<T = unknown>(key: string): Promise<T | undefined>;
  setItem(key: string, value: unknown): Promise<void>;
  removeItem(key: string): Promise<void>;
  clear(): Promise<void>;
};

/** The launcher's timers (also the globals setTimeout and clearTimeout). */
export function setTimeout(callback: (...args: unknown[]) => void, milliseconds?: number, ...args: unknown[]): number;
export function clearTimeout(id: number): void;

// MARK: Files

export interface FileInfo {
  fileType: "File" | "Directory" | "Symlink";
  size: number;
  creationDate?: Date;
  modificationDate?: Date;
  isFile: boolean;
  isDirectory: boolean;
  isSymlink: boolean;
}

/**
 * Files, read and written by the launcher. Paths are absolute (or start with
 * "~/"); links are reported as links, and writes replace a file whole.
 */
export const fs: {
  readTextFile(path: string): Promise<string>;
  /** Creates missing folders; with append the text is added at the end. */
  writeTextFile(path: string, data: string, options?: { append?: boolean }): Promise<void>;
  exists(path: string): Promise<boolean>;
  /** Fails when the destination exists, unless overwrite is set. */
  copy(fromPath: string, toPath: string, options?: { overwrite?: boolean }): Promise<void>;
  rename(oldPath: string, newPath: string): Promise<void>;
  /** Removes a file, a link (never its target) or a folder with what it holds. */
  remove(path: string): Promise<void>;
  stat(path: string): Promise<FileInfo>;
  /** Creates the folder and its missing parents. */
  makeDirectory(path: string): Promise<void>;
  /** The names in a folder, sorted. */
  readDirectory(path: string): Promise<string[]>;
};

// MARK: HTTP

export declare class Response {
  readonly status: number;
  readonly ok: boolean;
  readonly headers: Record<string, string>;
  readonly url: string;
  readonly size: number;
  header(name: string): string | undefined;
  text(): Promise<string>;
  json<T = unknown>(): Promise<T>;
}

export interface FetchOptions {
  method?: "GET" | "POST" | "PUT" | "PATCH" | "DELETE" | "OPTIONS";
  headers?: Record<string, string>;
  /** A text body. */
  body?: string;
  /** A JSON body (sent as application/json unless the headers say otherwise). */
  json?: unknown;
}

/** A request in flight; cancel() aborts it and rejects it with "Request cancelled". */
export interface PendingResponse extends Promise<Response> {
  cancel(): Promise<void>;
}

/**
 * Sends a request through the launcher. Any status is a Response; a transfer
 * that fails rejects with "HTTP error: …".
 */
export function fetch(url: string, options?: FetchOptions): PendingResponse;

// MARK: Views

/** An image: a file of the extension's assets folder, or its full form. */
export type ImageLike = string | Image;
export interface Image {
  imageData?: string;
  darkImageData?: string;
  options?: { mask?: "undefined" | "circle" | "roundedRectangle" };
}
export const Image: {
  asset(name: string, options?: { dark?: string; mask?: "circle" | "roundedRectangle" }): Image;
  readonly Mask: { readonly Circle: "circle"; readonly RoundedRectangle: "roundedRectangle" };
};

/** What the builders make; render() turns it into the launcher's tree. */
export interface Element<Kind extends string = string> {
  readonly $$vantrel: Kind;
  readonly props: object;
  readonly children: Element[];
}
type Child = Element | Child[] | null | undefined | false | true;

export interface KeyboardShortcut {
  modifiers: Array<"cmd" | "ctrl" | "opt" | "shift">;
  key: string;
}

interface NodeProps {
  /** The node's id ("nodeId"); keep it stable across renders. */
  id?: string;
  tag?: string;
}

export interface ActionProps {
  id?: string;
  title: string;
  icon?: ImageLike;
  shortcut?: KeyboardShortcut;
  /** Runs when the user chooses the action. */
  onAction?: () => unknown;
}

export interface ActionPanelProps {
  title?: string;
}

type Builder<Props, Kind extends string> = {
  (props: Props, ...children: Child[]): Element<Kind>;
  (...children: Child[]): Element<Kind>;
};

export const ActionPanel: Builder<ActionPanelProps, "actionPanel"> & {
  Section: Builder<{ title?: string }, "actionSection">;
  /**
   * A submenu, asked for its entries when it opens: its children, or what `children(text)` answers
   * (with `filtering: false` asked again for every keystroke in the panel's search field).
   * @example ActionPanel.Submenu({ title: "Size" }, Action({ id: "s", title: "Small", onAction: pick }))
   */
  Submenu: Builder<ActionProps & { filtering?: boolean; children?: (text: string) => Element[] | Promise<Element[]> }, "actionSubmenu">;
};

export const Action: ((props: ActionProps) => Element<"action">) & {
  CopyToClipboard(props: Omit<ActionProps, "onAction"> & { title?: string; content: string; closeWindow?: boolean; onCopy?: (content: string) => unknown }): Element<"action">;
  OpenInBrowser(props: Omit<ActionProps, "onAction"> & { title?: string; url: string }): Element<"action">;
  Open(props: Omit<ActionProps, "onAction"> & { title?: string; target: string; application?: string }): Element<"action">;
  ShowInFileManager(props: Omit<ActionProps, "onAction"> & { title?: string; path: string | string[] }): Element<"action">;
};

interface ViewProps extends NodeProps {
  navigationTitle?: string;
  /** Shown as the window's progress bar. */
  isLoading?: boolean;
  actions?: Element<"actionPanel">;
}

export interface ListProps extends ViewProps {
  searchBarHidden?: boolean;
  searchBarPlaceholder?: string;
  /** The search text as the user types it (the launcher filters by title and keywords itself). */
  onSearchTextChange?: (text: string) => unknown;
  /** Search-text events at most every 0.25 seconds. */
  throttle?: boolean;
  /** The id of the item to select. */
  selectedItemId?: string;
  onSelectionChange?: (id: string | null) => unknown;
}

export interface ListItemProps extends NodeProps {
  title: string;
  subtitle?: string;
  accessoryTitle?: string;
  icon?: ImageLike;
  accessoryIcon?: ImageLike;
  /** More words the list's filter matches. */
  keywords?: string | string[];
  actions?: Element<"actionPanel">;
}

export const List: Builder<ListProps, "listView"> & {
  Section: Builder<NodeProps & { title?: string; subtitle?: string }, "listViewSection">;
  Item: (props: ListItemProps) => Element<"listViewItem">;
};

export const Detail: (props: ViewProps & { markdown?: string }) => Element<"detailView">;

export interface FormValues {
  [itemId: string]: unknown;
}

interface FormItemProps extends NodeProps {
  /** The item's id, the key of its value in onSubmit. */
  id: string;
  title?: string;
  /** Remember the value for the next time the form is shown. */
  storeValue?: boolean;
}

export interface TokenValue {
  id: string;
  title: string;
  style?: { badgeColor?: string; icon?: ImageLike };
}

export const Form: Builder<ViewProps & { submitTitle?: string; onSubmit?: (values: FormValues) => unknown }, "formView"> & {
  TextField: (props: FormItemProps & { placeholder?: string; value?: string }) => Element<"formViewTextField">;
  TextArea: (props: FormItemProps & { placeholder?: string; value?: string }) => Element<"formViewTextArea">;
  Checkbox: (props: FormItemProps & { label: string; value?: boolean; onChange?: (value: boolean) => unknown }) => Element<"formViewCheckbox">;
  Dropdown: Builder<FormItemProps & { value?: string; entries?: (text: string) => Element<"dropdownItem">[] | Promise<Element<"dropdownItem">[]> }, "formViewDropdown"> & {
    Item: (props: { value: string; title?: string; icon?: ImageLike }) => Element<"dropdownItem">;
  };
  /** A button; pressing it (click, Space, or Return while focused) calls onAction with its id. Holds no value. */
  Button: (props: NodeProps & { id: string; title?: string; label: string; description?: string; onAction?: (id: string) => unknown }) => Element<"formViewButton">;
  /** A line across the form. */
  Separator: (props?: NodeProps) => Element<"formViewSeparator">;
  /**
   * Tokens chosen from suggestions: the items whose title or id contains the typed text, or what
   * `suggestions(text)` answers. `value` holds tokens or the ids of items. Submitted as TokenValue[].
   * @example Form.TokenEditor({ id: "tags" }, Form.TokenEditor.Item({ id: "red", title: "Red", badgeColor: "#e33" }))
   */
  TokenEditor: Builder<FormItemProps & { placeholder?: string; value?: (TokenValue | string)[]; suggestions?: (text: string) => TokenValue[] | Promise<TokenValue[]> }, "formViewTokenEditor"> & {
    Item: (props: { id: string; title?: string; badgeColor?: string; icon?: ImageLike }) => Element<"tokenEditorItem">;
  };
  /**
   * A date typed in `dateFormat` (a Qt date format, ISO 8601 without one) or as a phrase
   * ("tomorrow 9am", "next friday"). Submitted as a string in `dateFormat`, or null when empty.
   * @example Form.DatePicker({ id: "due", title: "Due", dateFormat: "yyyy-MM-dd HH:mm" })
   */
  DatePicker: (props: FormItemProps & { value?: string; dateFormat?: string }) => Element<"formViewDatePicker">;
};

/** JSX: esbuild --jsx-factory=createElement --jsx-fragment=Fragment. */
export function createElement(type: unknown, props: object | null, ...children: Child[]): Element | Element[];
export const Fragment: object;

export interface RenderOptions {
  /** The launcher changed the view on screen (the user went back). */
  onSelectedViewChange?: (viewId: string) => unknown;
  /** "active" when the command's view is on screen, "background" when it left. */
  onStatusChange?: (status: "active" | "background") => unknown;
}

/** Sends a view (or several, the last on screen) with the patch from the last one sent. */
export function render(view: Element | Element[], options?: RenderOptions): Promise<void>;

/**
 * A view with state. `view(state, setState)` makes the element; setState
 * merges changes and renders again (changes made together render once).
 * Return the promise from the command's function: it stays pending while the
 * view is open.
 */
export function showView<State extends object>(
  initialState: State,
  view: (state: State, setState: (changes: Partial<State> | ((state: State) => Partial<State>)) => void) => Element | Element[],
  options?: RenderOptions,
): Promise<never>;

/** The tree and patch render() would send, without sending them. */
export function buildRender(view: Element | Element[], options?: RenderOptions): { model: object; patch: object[] };
