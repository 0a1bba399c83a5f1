// Builds every command of package.json: src/<command>.ts (or .tsx, .js) is
// bundled by esbuild into dist/<command>.js (CommonJS, "vantrel-commands"
// left to the launcher, an inline source map so that errors point at the
// TypeScript source). When the launcher already knows this extension (its
// folder exists under the data folder's vantrel/extensions), the scripts,
// package.json and assets are copied there too, so the next run of a command
// uses the new build.
import { build } from "esbuild";
import { cpSync, existsSync, mkdirSync, readFileSync } from "node:fs";
import { homedir } from "node:os";
import { join } from "node:path";

const manifest = JSON.parse(readFileSync("package.json", "utf8"));
const entries = {};
for (const command of manifest.commands ?? []) {
  const source = ["ts", "tsx", "js"].map((ext) => join("src", `${command.name}.${ext}`)).find(existsSync);
  if (!source) {
    console.error(`No source for command "${command.name}": expected src/${command.name}.ts`);
    process.exit(1);
  }
  entries[command.name] = source;
}

await build({
  entryPoints: entries,
  outdir: "dist",
  bundle: true,
  format: "cjs",
  platform: "neutral",
  target: "es2020",
  external: ["vantrel-commands"],
  sourcemap: "inline",
  sourcesContent: true,
  logLevel: "warning",
});

const dataHome = process.env.XDG_DATA_HOME || join(homedir(), ".local", "share");
const installed = join(dataHome, "vantrel", "extensions", manifest.name);
if (existsSync(installed)) {
  mkdirSync(installed, { recursive: true });
  for (const name of Object.keys(entries)) cpSync(join("dist", `${name}.js`), join(installed, `${name}.js`));
  cpSync("package.json", join(installed, "package.json"));
  if (existsSync("assets")) cpSync("assets", join(installed, "assets"), { recursive: true });
  console.log(`Built ${Object.keys(entries).join(", ")} into dist/ and ${installed}`);
} else {
  console.log(`Built ${Object.keys(entries).join(", ")} into dist/; install with: vantrel extensions install .`);
}
