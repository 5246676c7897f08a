// The page's own words: every text has its French and its English, and
// every text the page names (in its HTML and in its script) is one of them.
import { test } from "node:test";
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import { fileURLToPath } from "node:url";
import { LANGUAGES, TEXTS } from "../page/texts.js";

const web = path.join(path.dirname(fileURLToPath(import.meta.url)), "..");

test("every text of the page is written in each of its languages", () => {
  assert.deepEqual(LANGUAGES, ["fr", "en"]);
  for (const [key, text] of Object.entries(TEXTS)) {
    assert.deepEqual(Object.keys(text).sort(), [...LANGUAGES].sort(), key + ": not exactly one text per language");
    for (const language of LANGUAGES)
      assert.ok(typeof text[language] === "string" && text[language].trim() !== "", key + ": no " + language);
  }
});

test("every text the page names is written", () => {
  const named = new Set();
  const html = fs.readFileSync(path.join(web, "page.html"), "utf8");
  for (const [, key] of html.matchAll(/data-(?:text|label)="(\w+)"/g)) named.add(key);
  for (const file of fs.readdirSync(path.join(web, "page"))) {
    const script = fs.readFileSync(path.join(web, "page", file), "utf8");
    for (const [, key] of script.matchAll(/\bt\("(\w+)"\)/g)) named.add(key);
    for (const [, key] of script.matchAll(/dataset\.text = "(\w+)"/g)) named.add(key);
  }
  assert.ok(named.size > 20, "the page names its texts as t(\"key\") and data-text=\"key\"");
  for (const key of named) assert.ok(key in TEXTS, key + " is named but not written");
});
