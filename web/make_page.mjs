// Joins the page's script, written as modules in page/ (each importing by
// name what it uses of the others), into the one script of the page, so
// that the page stays a single file that works from disk:
//   node make_page.mjs PAGE OUTPUT
// Each module runs in a function of its own, after those it imports, and
// hands on what it exports; the page's first module is page/start.js.
import fs from "node:fs";
import path from "node:path";
import { fileURLToPath } from "node:url";

const [page_file, output] = process.argv.slice(2);
const here = path.dirname(fileURLToPath(import.meta.url));
const modules = path.join(here, "page");
const PLACE = "<!-- @PAGE_SCRIPT@ -->";
const IMPORT = /^import \{([^}]*)\} from "\.\/([\w-]+)\.js";\n/gm;
const EXPORT = /^export ((?:async )?(?:function|const|let|class) ([\w$]+))/gm;

// The modules in an order where each comes after those it imports.
const order = [];
function visit(name, path_so_far) {
  if (order.includes(name)) return;
  if (path_so_far.includes(name)) throw new Error("modules import each other: " + path_so_far.concat(name).join(" -> "));
  const source = fs.readFileSync(path.join(modules, name + ".js"), "utf8");
  for (const [, , imported] of source.matchAll(IMPORT)) visit(imported, path_so_far.concat(name));
  order.push(name);
}
visit("start", []);

const variable = (name) => "module_" + name.replace(/-/g, "_");
let script = "";
for (const name of order) {
  let source = fs.readFileSync(path.join(modules, name + ".js"), "utf8");
  const exported = [...source.matchAll(EXPORT)].map((m) => m[2]);
  source = source.replace(IMPORT, (line, names, from) =>
    "const {" + names.replace(/(\w+) as (\w+)/g, "$1: $2") + "} = " + variable(from) + ";\n");
  source = source.replace(EXPORT, "$1");
  if (/^\s*(import|export)\b/m.test(source)) throw new Error(name + ".js: an import or export this joining does not know");
  script += "// ---- page/" + name + ".js ----\nconst " + variable(name) + " = (() => {\n" + source +
    "return { " + exported.join(", ") + " };\n})();\n";
}
const page = fs.readFileSync(page_file, "utf8");
if (!page.includes(PLACE)) throw new Error(page_file + ": no " + PLACE);
fs.writeFileSync(output, page.replace(PLACE, () => "<script>\n\"use strict\";\n(() => {\n" + script + "})();\n</script>"));
