// The script every extension command runs on top of. It is evaluated in the
// command's own context before the command's script, and is what
// require("vantrel-commands") returns (the global `Vantrel`).
//
// The host gives two global functions:
//   require(name)                        "vantrel-commands" -> Vantrel, anything else -> undefined
//   __VantrelAPI__(namespace, method, args, callback, callbackInfo, completion)
//                                        forwards one call to the launcher; completion receives
//                                        {success: true, value} or {success: false, error}
//
// A command script is CommonJS, for example built with
//   esbuild src/command.ts --bundle --format=cjs --platform=neutral \
//           --external:vantrel-commands --sourcemap=inline --outfile=command.js
// Its default export (or module.exports itself) is the command's function: it
// is called with the environment, and a promise it returns is awaited. A
// command that throws or rejects fails; the launcher reports the error at its
// place in the original source through the inline source map.
(function (global) {
  "use strict";

  const host = global.__VantrelAPI__;

  function errorOf(result) {
    const message = result && typeof result.error === "string" ? result.error : "Invalid result object";
    return new Error(message);
  }

  // One call to the launcher, as a promise of its value.
  function call(namespace, method, args, callback, callbackInfo) {
    return new Promise(function (resolve, reject) {
      host(namespace, method, args || {}, callback, callbackInfo || {}, function (result) {
        if (result && result.success === true) {
          resolve(result.value);
        } else {
          reject(errorOf(result));
        }
      });
    });
  }

  function text(value) {
    if (typeof value === "string") return value;
    if (value instanceof Error) return value.stack ? value.name + ": " + value.message + "\n" + value.stack : String(value);
    try {
      const json = JSON.stringify(value);
      return json === undefined ? String(value) : json;
    } catch (e) {
      return String(value);
    }
  }

  function log(level, values) {
    return call("debug", "log", { level: level, message: values.map(text) });
  }

  const ToastStyle = Object.freeze({ Success: "success", Failure: "failure", Animated: "animated" });

  // The toast on screen. Changing a property updates it in the launcher.
  class Toast {
    constructor(options) {
      this._style = options.style || ToastStyle.Success;
      this._title = options.title;
      this._message = options.message;
    }
    get style() { return this._style; }
    set style(value) { this._style = value; call("app", "changeToast", { style: value }); }
    get title() { return this._title; }
    set title(value) { this._title = value; call("app", "changeToast", { title: value }); }
    get message() { return this._message; }
    set message(value) { this._message = value; call("app", "changeToast", { message: value }); }
    show() {
      const args = { style: this._style, title: this._title };
      if (this._message !== undefined) args.message = this._message;
      return call("app", "showToast", args).then(() => undefined);
    }
    hide() { return call("app", "hideToast", {}).then(() => undefined); }
  }
  Toast.Style = ToastStyle;

  async function showToast(options) {
    const toast = new Toast(typeof options === "string" ? { title: options } : options || {});
    await toast.show();
    return toast;
  }

  // MARK: Calls that answer later through an event

  // A call whose callback receives the launcher's events: onEvent(error,
  // type, data, answer) for each; answer(value) replies when the launcher
  // waits for one. The promise is the call's immediate answer.
  function callWithEvents(namespace, method, args, onEvent) {
    return call(namespace, method, args, function (result) {
      if (!result || result.success !== true) return onEvent(errorOf(result));
      const event = result.value || {};
      onEvent(undefined, event.type, event.data, event.completion);
    });
  }

  // MARK: Opening things

  function isURL(text) {
    return /^[A-Za-z][A-Za-z0-9+.-]*:/.test(text) && !text.startsWith("/");
  }

  const app = {
    // A URL with a scheme opens with the desktop's handler; a path opens
    // with the file's default application, or with `application` (its
    // desktop-entry id or name) when one is given.
    open: function (target, application) {
      target = String(target);
      let launch;
      if (application !== undefined && application !== null) {
        launch = { type: "app", name: String(application), arguments: [target] };
      } else if (isURL(target)) {
        launch = { type: "url", url: target };
      } else {
        launch = { type: "file", path: target };
      }
      return call("app", "open", { launch: launch }).then(() => undefined);
    },
    openApplication: function (name, args) {
      return call("app", "open", { launch: { type: "app", name: String(name), arguments: (args || []).map(String) } }).then(() => undefined);
    },
    showInFileManager: function (paths) {
      return call("app", "open", { launch: { type: "finder", paths: [].concat(paths) } }).then(() => undefined);
    },
  };

  const Clipboard = {
    // Copies text; options: {name} names it in the confirmation,
    // {closeWindow: true} closes the launcher and confirms with a HUD.
    copy: function (text, options) {
      options = options || {};
      const contents = { type: "text", text: String(text) };
      if (options.name !== undefined) contents.name = String(options.name);
      return call("app", "setClipboardContents", { contents: contents, shouldCloseWindow: options.closeWindow === true }).then(() => undefined);
    },
    clear: function () { return call("app", "clearClipboardContents", {}).then(() => undefined); },
  };

  const LocalStorage = {
    allItems: function () { return call("app", "allLocalStorageItems", {}); },
    getItem: function (key) { return call("app", "getLocalStorageItem", { key: key }); },
    setItem: function (key, value) { return call("app", "setLocalStorageItem", { key: key, value: value }).then(() => undefined); },
    removeItem: function (key) { return call("app", "removeLocalStorageItem", { key: key }).then(() => undefined); },
    clear: function () { return call("app", "clearLocalStorage", {}).then(() => undefined); },
  };

  // MARK: Timers
  // setTimeout answers an id at once; the launcher's timer behind it is
  // known a moment later, and a clear before that still counts.

  let nextTimer = 1;
  const timers = new Map();  // local id -> {remote, cleared}

  function setTimer(fn, milliseconds) {
    const args = Array.prototype.slice.call(arguments, 2);
    const id = nextTimer++;
    const timer = { remote: undefined, cleared: false };
    timers.set(id, timer);
    callWithEvents("app", "setTimeout", { milliseconds: Math.max(0, Number(milliseconds) || 0) }, function (error) {
      timers.delete(id);
      if (error || timer.cleared) return;
      if (typeof fn === "function") fn.apply(undefined, args);
    }).then(function (remote) {
      timer.remote = remote;
      if (timer.cleared) call("app", "clearTimeout", { id: remote });
    }, function () { timers.delete(id); });
    return id;
  }

  function clearTimer(id) {
    const timer = timers.get(id);
    if (!timer) return;
    timer.cleared = true;
    timers.delete(id);
    if (timer.remote !== undefined) call("app", "clearTimeout", { id: timer.remote });
  }

  // MARK: Files

  function fileInfo(value) {
    return Object.assign({}, value, {
      creationDate: value.creationDate ? new Date(value.creationDate) : undefined,
      modificationDate: value.modificationDate ? new Date(value.modificationDate) : undefined,
    });
  }

  const fs = {
    readTextFile: function (path) { return call("fs", "readTextFile", { path: path }); },
    writeTextFile: function (path, data, options) {
      const args = { path: path, data: data };
      if (options) args.options = { append: options.append === true };
      return call("fs", "writeTextFile", args).then(() => undefined);
    },
    exists: function (path) { return call("fs", "exists", { path: path }); },
    copy: function (fromPath, toPath, options) {
      const args = { fromPath: fromPath, toPath: toPath };
      if (options) args.options = { overwrite: options.overwrite === true };
      return call("fs", "copy", args).then(() => undefined);
    },
    rename: function (oldPath, newPath) { return call("fs", "rename", { oldPath: oldPath, newPath: newPath }).then(() => undefined); },
    remove: function (path) { return call("fs", "remove", { path: path }).then(() => undefined); },
    stat: function (path) { return call("fs", "stat", { path: path }).then(fileInfo); },
    makeDirectory: function (path) { return call("fs", "makeDirectory", { path: path }).then(() => undefined); },
    readDirectory: function (path) { return call("fs", "readDirectory", { path: path }); },
  };

  // MARK: HTTP

  class Response {
    constructor(data) {
      this.status = data.status;
      this.ok = data.status >= 200 && data.status < 300;
      this.headers = data.headers || {};
      this.url = data.url;
      this.size = data.size;
      this._body = data.data;
    }
    header(name) {
      const wanted = String(name).toLowerCase();
      for (const key of Object.keys(this.headers)) if (key.toLowerCase() === wanted) return this.headers[key];
      return undefined;
    }
    text() { return Promise.resolve(this._body); }
    json() {
      try { return Promise.resolve(JSON.parse(this._body)); } catch (e) { return Promise.reject(e); }
    }
  }

  // fetch(url, {method, headers, body, json}): the promise of a Response
  // (any status), rejected with "HTTP error: …" when the transfer failed and
  // with "Request cancelled" after cancel() of the returned promise.
  function fetch(url, options) {
    options = options || {};
    const request = { url: String(url), method: (options.method || "GET").toUpperCase() };
    if (options.headers) request.headers = options.headers;
    if (options.json !== undefined) request.body = { type: "json", data: options.json };
    else if (options.body !== undefined) request.body = { type: "text", data: String(options.body) };
    let id;
    let settled = false;
    let rejectIt;
    const promise = new Promise(function (resolve, reject) {
      rejectIt = reject;
      callWithEvents("net", "resumeHTTPRequest", { request: request }, function (error, type, data) {
        if (settled) return;
        settled = true;
        if (error) reject(error);
        else resolve(new Response(data || {}));
      }).then(function (requestId) { id = requestId; }, function (error) {
        settled = true;
        reject(error);
      });
    });
    promise.cancel = function () {
      if (settled) return Promise.resolve();
      settled = true;
      rejectIt(new Error("Request cancelled"));
      return id === undefined ? Promise.resolve() : call("net", "cancelHTTPRequest", { id: id }).then(() => undefined, () => undefined);
    };
    return promise;
  }

  // MARK: Views
  //
  // A view is described with elements, made by calling the builders below
  // (List, List.Section, List.Item, Detail, Form and its items, ActionPanel,
  // Action): each takes its properties and its children. render() turns the
  // element into the launcher's tree, where every node carries its kind,
  // its id ("nodeId") and its own JSON Pointer ("path"), and every function
  // property becomes a handler identifier; the patch sent with the tree is
  // the JSON Patch (RFC 6902) from the tree shown before.

  function element(type, props, children) {
    const flat = [];
    (function add(list) {
      for (const child of list) {
        if (Array.isArray(child)) add(child);
        else if (child !== null && child !== undefined && child !== false && child !== true) flat.push(child);
      }
    })(children);
    return { $$vantrel: type, props: props || {}, children: flat };
  }

  // builder(props, ...children); props may be left out when the first
  // argument is already a child: ActionPanel(Action({...}), Action({...})).
  function builder(type) {
    return function (props) {
      const rest = Array.prototype.slice.call(arguments, 1);
      if (Array.isArray(props) || isElement(props)) return element(type, {}, [props].concat(rest));
      return element(type, props, rest);
    };
  }

  function isElement(value, type) {
    return value !== null && typeof value === "object" && value.$$vantrel !== undefined && (type === undefined || value.$$vantrel === type);
  }

  // JSX works too: createElement(List, props, ...children) with
  // esbuild's --jsx-factory=createElement, --jsx-fragment=Fragment.
  function createElement(type, props) {
    const children = Array.prototype.slice.call(arguments, 2);
    if (type === Fragment) return children;
    if (typeof type === "function" && type.$$type === undefined) return type(Object.assign({}, props, { children: children }));
    return element(type.$$type, props, children);
  }
  const Fragment = {};

  function tagged(type, fn) {
    fn.$$type = type;
    return fn;
  }

  const List = tagged("listView", builder("listView"));
  List.Section = tagged("listViewSection", builder("listViewSection"));
  List.Item = tagged("listViewItem", builder("listViewItem"));
  const Detail = tagged("detailView", builder("detailView"));
  const Form = tagged("formView", builder("formView"));
  Form.TextField = tagged("formViewTextField", builder("formViewTextField"));
  Form.TextArea = tagged("formViewTextArea", builder("formViewTextArea"));
  Form.Checkbox = tagged("formViewCheckbox", builder("formViewCheckbox"));
  Form.Dropdown = tagged("formViewDropdown", builder("formViewDropdown"));
  Form.Dropdown.Item = tagged("dropdownItem", builder("dropdownItem"));
  Form.Button = tagged("formViewButton", builder("formViewButton"));
  Form.Separator = tagged("formViewSeparator", builder("formViewSeparator"));
  Form.TokenEditor = tagged("formViewTokenEditor", builder("formViewTokenEditor"));
  Form.TokenEditor.Item = tagged("tokenEditorItem", builder("tokenEditorItem"));
  Form.DatePicker = tagged("formViewDatePicker", builder("formViewDatePicker"));
  const ActionPanel = tagged("actionPanel", builder("actionPanel"));
  ActionPanel.Section = tagged("actionSection", builder("actionSection"));
  ActionPanel.Submenu = tagged("actionSubmenu", builder("actionSubmenu"));
  const Action = tagged("action", builder("action"));
  // Ready-made actions.
  Action.CopyToClipboard = tagged("action", function (props) {
    props = props || {};
    return Action(Object.assign({ title: "Copy to Clipboard" }, props, {
      onAction: function () {
        const done = Clipboard.copy(props.content, { closeWindow: props.closeWindow !== false });
        return props.onCopy ? done.then(() => props.onCopy(props.content)) : done;
      },
    }));
  });
  Action.OpenInBrowser = tagged("action", function (props) {
    props = props || {};
    return Action(Object.assign({ title: "Open in Browser" }, props, { onAction: function () { return app.open(props.url); } }));
  });
  Action.Open = tagged("action", function (props) {
    props = props || {};
    return Action(Object.assign({ title: "Open" }, props, { onAction: function () { return app.open(props.target, props.application); } }));
  });
  Action.ShowInFileManager = tagged("action", function (props) {
    props = props || {};
    return Action(Object.assign({ title: "Show in File Manager" }, props, { onAction: function () { return app.showInFileManager(props.path); } }));
  });

  // An image from the extension's assets folder: Image.asset("icon.png",
  // {dark: "icon-dark.png", mask: "circle"}).
  const Image = {
    asset: function (name, options) {
      options = options || {};
      const image = { imageData: name };
      if (options.dark) image.darkImageData = options.dark;
      if (options.mask) image.options = { mask: options.mask };
      return image;
    },
    Mask: Object.freeze({ Circle: "circle", RoundedRectangle: "roundedRectangle" }),
  };

  function imageOf(value) {
    if (value === undefined || value === null) return undefined;
    return typeof value === "string" ? { imageData: value } : value;
  }

  function pointer(key) {
    return String(key).replace(/~/g, "~0").replace(/\//g, "~1");
  }

  const viewKinds = ["listView", "detailView", "formView"];
  const formKinds = ["formViewTextField", "formViewTextArea", "formViewCheckbox", "formViewDropdown", "formViewButton",
                     "formViewSeparator", "formViewTokenEditor", "formViewDatePicker"];

  // Turns elements into the tree, collecting the handlers by identifier.
  class TreeBuilder {
    constructor() { this.handlers = new Map(); }

    handler(owner, name, fn) {
      if (typeof fn !== "function") return undefined;
      const id = owner + "." + name;
      this.handlers.set(id, fn);
      return id;
    }

    set(node, key, value) {
      if (value !== undefined) node[key] = value;
    }

    node(kind, el, path, fallbackId) {
      const props = el.props;
      const node = { kind: kind, nodeId: props.id !== undefined ? String(props.id) : fallbackId, path: path };
      this.set(node, "tag", props.tag);
      return node;
    }

    actionPanel(value, owner, path) {
      if (value === undefined || value === null) return undefined;
      if (!isElement(value, "actionPanel")) throw new Error("actions must be an ActionPanel");
      const panel = {};
      this.set(panel, "title", value.props.title);
      const sections = [];
      let loose = null;
      value.children.forEach((child) => {
        if (isElement(child, "actionSection")) {
          loose = null;
          sections.push({ title: child.props.title, items: child.children });
        } else {
          if (!loose) {
            loose = { title: undefined, items: [] };
            sections.push(loose);
          }
          loose.items.push(child);
        }
      });
      panel.sections = sections.map((section, s) => {
        const out = {};
        this.set(out, "title", section.title);
        out.items = section.items.map((item, i) => this.actionItem(item, owner + ".actions." + s + "." + i, path + "/sections/" + s + "/items/" + i));
        return out;
      });
      return panel;
    }

    actionItem(el, owner) {
      if (!isElement(el, "action") && !isElement(el, "actionSubmenu")) throw new Error("an ActionPanel holds Action, ActionPanel.Section and ActionPanel.Submenu");
      const props = el.props;
      const item = { title: String(props.title === undefined ? "" : props.title) };
      const id = props.id !== undefined ? String(props.id) : undefined;
      this.set(item, "id", id);
      this.set(item, "icon", imageOf(props.icon));
      this.set(item, "shortcut", props.shortcut);
      const handlerOwner = id !== undefined ? owner.replace(/\.actions\.\d+\.\d+$/, "") + ".action:" + id : owner;
      this.set(item, "onAction", this.handler(handlerOwner, "onAction", props.onAction));
      if (isElement(el, "actionSubmenu")) {
        // The entries are the submenu's children, or what onSearchTextChange
        // answers for the typed text (filter "custom").
        const self = this;
        const children = el.children;
        const build = function (text) {
          const entries = typeof props.children === "function" ? props.children(text) : children;
          return Promise.resolve(entries).then((list) => self.actionPanel(ActionPanel({}, list), handlerOwner + ".submenu", ""));
        };
        this.set(item, "submenu", this.handler(handlerOwner, "submenu", build));
        this.set(item, "submenuFilterType", props.filtering === false ? "custom" : undefined);
      }
      return item;
    }

    view(el, path, index) {
      const kind = el.$$vantrel;
      if (viewKinds.indexOf(kind) < 0) throw new Error("a view is a List, a Detail or a Form, not " + kind);
      const props = el.props;
      const node = this.node(kind, el, path, kind + "-" + index);
      const owner = node.nodeId;
      this.set(node, "navigationTitle", props.navigationTitle);
      this.set(node, "isLoading", props.isLoading === undefined ? undefined : props.isLoading === true);
      this.set(node, "actions", this.actionPanel(props.actions, owner, path + "/actions"));
      if (kind === "listView") {
        this.set(node, "searchBarHidden", props.searchBarHidden);
        this.set(node, "searchBarPlaceholder", props.searchBarPlaceholder);
        this.set(node, "onSearchTextChange", this.handler(owner, "onSearchTextChange", props.onSearchTextChange));
        this.set(node, "throttlingEnabled", props.throttle === undefined ? undefined : props.throttle === true);
        this.set(node, "onSelectItem", this.handler(owner, "onSelectItem", props.onSelectionChange));
        if (props.selectedItemId !== undefined || props.onSelectionChange) {
          const selected = { id: owner + ".selectedItemId" };
          if (props.selectedItemId !== undefined && props.selectedItemId !== null) selected.value = String(props.selectedItemId);
          if (props.onSelectionChange) this.handlers.set(selected.id, props.onSelectionChange);
          node.selectedItemId = selected;
        }
        // Items outside a section go into one without a title.
        const sections = [];
        let loose = null;
        el.children.forEach((child) => {
          if (isElement(child, "listViewSection")) {
            loose = null;
            sections.push(child);
          } else if (isElement(child, "listViewItem")) {
            if (!loose) {
              loose = element("listViewSection", {}, []);
              sections.push(loose);
            }
            loose.children.push(child);
          } else {
            throw new Error("a List holds List.Section and List.Item");
          }
        });
        node.sections = sections.map((section, s) => this.section(section, path + "/sections/" + s, owner + "-section-" + s));
      } else if (kind === "detailView") {
        this.set(node, "markdown", props.markdown === undefined ? undefined : String(props.markdown));
      } else {
        this.set(node, "submitTitle", props.submitTitle);
        this.set(node, "onSubmit", this.handler(owner, "onSubmit", props.onSubmit));
        node.items = el.children.map((child, i) => this.formItem(child, path + "/items/" + i, owner + "-item-" + i));
      }
      return node;
    }

    section(el, path, fallbackId) {
      const node = this.node("listViewSection", el, path, fallbackId);
      this.set(node, "title", el.props.title);
      this.set(node, "subtitle", el.props.subtitle);
      node.items = el.children.map((child, i) => {
        if (!isElement(child, "listViewItem")) throw new Error("a List.Section holds List.Item");
        return this.item(child, path + "/items/" + i, fallbackId + "-item-" + i);
      });
      return node;
    }

    item(el, path, fallbackId) {
      const props = el.props;
      const node = this.node("listViewItem", el, path, fallbackId);
      node.title = String(props.title === undefined ? "" : props.title);
      this.set(node, "subtitle", props.subtitle);
      this.set(node, "accessoryTitle", props.accessoryTitle);
      this.set(node, "icon", imageOf(props.icon));
      this.set(node, "accessoryIcon", imageOf(props.accessoryIcon));
      this.set(node, "index", props.keywords !== undefined ? [].concat(props.keywords).join(" ") : props.index);
      this.set(node, "actions", this.actionPanel(props.actions, node.nodeId, path + "/actions"));
      return node;
    }

    formItem(el, path, fallbackId) {
      const kind = el.$$vantrel;
      if (formKinds.indexOf(kind) < 0) throw new Error("a Form holds Form items, not " + kind);
      const props = el.props;
      const node = this.node(kind, el, path, fallbackId);
      const owner = node.nodeId;
      if (kind === "formViewSeparator") return node;
      this.set(node, "title", props.title);
      if (kind !== "formViewButton") this.set(node, "storeValue", props.storeValue);
      if (kind === "formViewTextField" || kind === "formViewTextArea") {
        this.set(node, "placeholder", props.placeholder);
        this.set(node, "value", props.value);
      } else if (kind === "formViewCheckbox") {
        node.checkboxTitle = String(props.label === undefined ? (props.checkboxTitle || "") : props.label);
        this.set(node, "value", props.value);
        this.set(node, "onChange", this.handler(owner, "onChange", props.onChange));
      } else if (kind === "formViewDropdown") {
        this.set(node, "value", props.value);
        const entries = el.children;
        const self = this;
        // The menu answers its entries as an action panel: one item per entry.
        const menu = function (text) {
          const list = typeof props.entries === "function" ? props.entries(text) : entries;
          return Promise.resolve(list).then((items) => ({
            sections: [{ items: items.map((entry) => {
              const out = { id: String(entry.props.value), title: String(entry.props.title === undefined ? entry.props.value : entry.props.title) };
              self.set(out, "icon", imageOf(entry.props.icon));
              return out;
            }) }],
          }));
        };
        node.menu = this.handler(owner, "menu", menu);
        this.set(node, "menuFilterType", typeof props.entries === "function" ? "custom" : undefined);
      } else if (kind === "formViewButton") {
        node.buttonTitle = String(props.buttonTitle === undefined ? (props.label || "") : props.buttonTitle);
        this.set(node, "description", props.description);
        this.set(node, "onAction", this.handler(owner, "onAction", props.onAction));
      } else if (kind === "formViewTokenEditor") {
        this.set(node, "placeholder", props.placeholder);
        // Tokens are Form.TokenEditor.Item children or token values; a value
        // may name a child by its id.
        const items = el.children.map(tokenOf);
        const byId = new Map(items.map((token) => [token.id, token]));
        if (props.value !== undefined) {
          node.value = [].concat(props.value).map((entry) => (typeof entry === "string" && byId.has(entry) ? byId.get(entry) : tokenOf(entry)));
        }
        // Without a suggestions function the launcher is offered the items
        // whose title or id contains the typed text.
        const suggestions = typeof props.suggestions === "function" ? function (text) {
          return Promise.resolve(props.suggestions(text)).then((list) => [].concat(list || []).map(tokenOf));
        } : items.length > 0 ? function (text) {
          const needle = String(text || "").toLowerCase();
          return items.filter((token) => token.title.toLowerCase().indexOf(needle) >= 0 || token.id.toLowerCase().indexOf(needle) >= 0);
        } : undefined;
        this.set(node, "suggestions", this.handler(owner, "suggestions", suggestions));
      } else if (kind === "formViewDatePicker") {
        this.set(node, "value", props.value);
        this.set(node, "dateFormat", props.dateFormat);
      }
      return node;
    }

    // The "commandView" root of one view, or of several (navigation: the
    // last one is on screen).
    root(views, handlers) {
      const list = [].concat(views);
      if (list.length === 0) throw new Error("render needs a view");
      const body = list.map((view, i) => this.view(view, "/body/" + i, i));
      const root = { kind: "commandView", nodeId: "root", path: "", body: body,
                     selectedView: { value: body[body.length - 1].nodeId, id: "root.selectedView" } };
      if (handlers && handlers.onSelectedViewChange) this.handlers.set("root.selectedView", handlers.onSelectedViewChange);
      if (handlers && handlers.onStatusChange) root.onStatusChange = this.handler("root", "onStatusChange", handlers.onStatusChange);
      return root;
    }
  }

  // A token value from a Form.TokenEditor.Item, a token value object or an id.
  function tokenOf(entry) {
    if (isElement(entry, "tokenEditorItem")) entry = entry.props;
    if (typeof entry === "string") return { id: entry, title: entry };
    if (entry === null || typeof entry !== "object") return entry;
    const token = { id: entry.id === undefined ? entry.value : entry.id, title: entry.title };
    if (token.id !== undefined) token.id = String(token.id);
    if (token.title === undefined) token.title = token.id;
    const style = Object.assign({}, entry.style);
    if (entry.badgeColor !== undefined) style.badgeColor = entry.badgeColor;
    if (entry.icon !== undefined) style.icon = entry.icon;
    if (style.icon !== undefined) style.icon = imageOf(style.icon);
    if (Object.keys(style).length > 0) token.style = style;
    return token;
  }

  // The JSON Patch (RFC 6902) that turns `from` into `to`.
  function diff(from, to, path, out) {
    out = out || [];
    path = path || "";
    if (from === to) return out;
    const fromObject = from !== null && typeof from === "object";
    const toObject = to !== null && typeof to === "object";
    if (!fromObject || !toObject || Array.isArray(from) !== Array.isArray(to)) {
      out.push({ op: "replace", path: path, value: to });
      return out;
    }
    if (Array.isArray(to)) {
      const common = Math.min(from.length, to.length);
      for (let i = 0; i < common; i++) diff(from[i], to[i], path + "/" + i, out);
      for (let i = from.length - 1; i >= to.length; i--) out.push({ op: "remove", path: path + "/" + i });
      for (let i = common; i < to.length; i++) out.push({ op: "add", path: path + "/" + i, value: to[i] });
      return out;
    }
    for (const key of Object.keys(from)) if (!(key in to)) out.push({ op: "remove", path: path + "/" + pointer(key) });
    for (const key of Object.keys(to)) {
      if (!(key in from)) out.push({ op: "add", path: path + "/" + pointer(key), value: to[key] });
      else diff(from[key], to[key], path + "/" + pointer(key), out);
    }
    return out;
  }

  // What is on screen, and the handlers its tree names.
  const screen = { tree: undefined, handlers: new Map() };

  // Events of the view come to the handler they name; handlers that answer
  // (menus, submenus, suggestions) answer through the event's completion.
  function viewEvent(error, type, data, answer) {
    if (error) return;
    const handler = screen.handlers.get(type);
    let result;
    try {
      result = handler ? handler(data) : undefined;
    } catch (thrown) {
      if (answer) answer({ success: false, error: thrown instanceof Error ? thrown.message : String(thrown) });
      log("error", [thrown]);
      return;
    }
    Promise.resolve(result).then(function (value) {
      if (answer) answer({ success: true, value: value === undefined ? null : value });
    }, function (thrown) {
      if (answer) answer({ success: false, error: thrown instanceof Error ? thrown.message : String(thrown) });
      log("error", [thrown]);
    });
  }

  // The tree of a view element (or of several, the last on screen) and the
  // patch from the tree rendered before, without sending them.
  function buildRender(views, options) {
    const tree = new TreeBuilder();
    const model = tree.root(views, options);
    const patch = screen.tree === undefined ? [{ op: "replace", path: "", value: model }] : diff(screen.tree, model);
    return { model: model, patch: patch, handlers: tree.handlers };
  }

  // Sends the view to the launcher.
  function render(views, options) {
    const built = buildRender(views, options);
    screen.tree = built.model;
    screen.handlers = built.handlers;
    return callWithEvents("ui", "render", { model: built.model, patch: built.patch }, viewEvent).then(() => undefined);
  }

  // A view with state: renderView(state, setState) makes the element;
  // setState(changes) merges the changes (or applies a function of the
  // state) and renders again, once for all changes made together. The
  // promise stays pending while the view is open (the command's function
  // returns it), and fails when the first render fails.
  function showView(initialState, renderView, options) {
    let state = initialState === undefined ? {} : initialState;
    let scheduled = false;
    let first = true;
    return new Promise(function (resolve, reject) {
      function draw() {
        scheduled = false;
        let views;
        try {
          views = renderView(state, setState);
        } catch (thrown) {
          if (first) reject(thrown);
          else log("error", [thrown]);
          return;
        }
        const isFirst = first;
        first = false;
        render(views, options).catch(function (error) {
          if (isFirst) reject(error);
          else log("error", ["Render error", error]);
        });
      }
      function setState(changes) {
        const next = typeof changes === "function" ? changes(state) : changes;
        state = Array.isArray(state) || typeof state !== "object" || state === null ? next : Object.assign({}, state, next);
        if (scheduled) return;
        scheduled = true;
        Promise.resolve().then(draw);
      }
      draw();
    });
  }

  const Vantrel = {
    // Filled in by VantrelCommand.init before the command starts.
    environment: {},

    call: call,

    debug: {
      ping: function () { return call("debug", "ping", {}); },
      log: function () { return log("debug", Array.prototype.slice.call(arguments)); },
    },

    utils: {
      uuid: function () { return call("utils", "uuid", {}); },
      uuids: function (count) { return call("utils", "uuids", { count: count }); },
      base64Encode: function (input) { return call("utils", "base64Encode", { input: input }); },
      base64Decode: function (input) { return call("utils", "base64Decode", { input: input }); },
    },

    Toast: Toast,
    ToastStyle: ToastStyle,
    showToast: showToast,
    hideToast: function () { return call("app", "hideToast", {}).then(() => undefined); },
    showHUD: function (title) { return call("app", "showToast", { style: "hud", title: String(title) }).then(() => undefined); },

    open: app.open,
    openApplication: app.openApplication,
    showInFileManager: app.showInFileManager,
    Clipboard: Clipboard,
    LocalStorage: LocalStorage,
    setTimeout: setTimer,
    clearTimeout: clearTimer,
    fs: fs,
    fetch: fetch,
    Response: Response,

    List: List,
    Detail: Detail,
    Form: Form,
    ActionPanel: ActionPanel,
    Action: Action,
    Image: Image,
    createElement: createElement,
    Fragment: Fragment,
    render: render,
    buildRender: buildRender,
    showView: showView,
    diff: function (from, to) { return diff(from, to); },
  };

  // The engine has no timers of its own: these are the launcher's.
  if (typeof global.setTimeout !== "function") global.setTimeout = setTimer;
  if (typeof global.clearTimeout !== "function") global.clearTimeout = clearTimer;
  if (typeof global.fetch !== "function") global.fetch = fetch;

  // console.* goes to the command's log in the launcher.
  global.console = {
    log: function () { log("info", Array.prototype.slice.call(arguments)); },
    info: function () { log("info", Array.prototype.slice.call(arguments)); },
    debug: function () { log("debug", Array.prototype.slice.call(arguments)); },
    warn: function () { log("warn", Array.prototype.slice.call(arguments)); },
    error: function () { log("error", Array.prototype.slice.call(arguments)); },
  };

  // CommonJS for the command script.
  const module = { exports: {} };
  global.module = module;
  global.exports = module.exports;

  function commandFunction() {
    const exported = global.module.exports;
    if (typeof exported === "function") return exported;
    if (exported && typeof exported.default === "function") return exported.default;
    return undefined;
  }

  global.Vantrel = Vantrel;
  global.VantrelCommand = {
    // Starts the command. completion receives {success: true} once the
    // command's function has finished, or {success: false, error, exception}
    // when it threw or rejected (exception: what was thrown).
    init: function (environment, completion) {
      Vantrel.environment = environment || {};
      let settled = false;
      function fail(thrown) {
        if (settled) return;
        settled = true;
        const message = thrown instanceof Error ? thrown.message : text(thrown);
        completion({ success: false, error: message, exception: thrown });
      }
      function succeed() {
        if (settled) return;
        settled = true;
        completion({ success: true });
      }
      const entry = commandFunction();
      if (entry === undefined) {
        fail(new Error("The command script exports no function"));
        return;
      }
      try {
        Promise.resolve(entry(Vantrel.environment)).then(succeed, fail);
      } catch (thrown) {
        fail(thrown);
      }
    },
  };
})(globalThis);
