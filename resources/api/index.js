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
  };

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
