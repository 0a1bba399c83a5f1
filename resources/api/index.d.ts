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
