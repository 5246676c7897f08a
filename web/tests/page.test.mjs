// morlevix.html in a real browser, headless, driven by puppeteer-core
// (which downloads no browser): Debian's Chromium, or with
// MORLEVIX_ENGINE=firefox Debian's firefox-esr through WebDriver BiDi. The
// page is opened from disk and must give, byte for byte, what the native
// program gives. What only Chromium can be asked (its fake capture device,
// its offline switch for a service worker) is checked in Chromium alone.
//
// Set by CTest: MORLEVIX_PAGE (the page), MORLEVIX_NATIVE_BUILD (the Linux
// build, for the native program and our test tapes and recordings),
// MORLEVIX_SOURCE (the sources, for the example tape), MORLEVIX_OUTPUT
// (where screenshots go), MORLEVIX_SITE (the site folder), CHROMIUM (the
// browser), FIREFOX (the other browser).
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { execFileSync, spawnSync } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import os from "node:os";
import path from "node:path";
import { pathToFileURL } from "node:url";
import puppeteer from "puppeteer-core";
import { launch_webkit } from "./webkit_driver.mjs";

const page_file = process.env.MORLEVIX_PAGE;
const native_build = process.env.MORLEVIX_NATIVE_BUILD;
const output = process.env.MORLEVIX_OUTPUT;
const source = process.env.MORLEVIX_SOURCE;
const native = path.join(native_build, "morlevix");
const work = fs.mkdtempSync(path.join(os.tmpdir(), "morlevix-web-"));
const chromium_flags = ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
  "--disable-background-networking", "--disable-component-update", "--disable-sync",
  "--autoplay-policy=no-user-gesture-required"];

const engine = process.env.MORLEVIX_ENGINE || "chromium";
const chromium_only = engine === "chromium" ? false : "what only Chromium can be asked";
const not_in_webdriver = engine === "webkit" ? "WebDriver classic sees no request and runs no script before the page's" : false;
// Firefox plays sound without a tap once told so, as the Chromium flag above does.
const firefox_prefs = { "media.autoplay.default": 0, "media.autoplay.blocking_policy": 0 };

let browser;

function launch(extra = []) {
  if (engine === "webkit") return launch_webkit();
  if (engine === "firefox")
    return puppeteer.launch({ browser: "firefox", executablePath: process.env.FIREFOX || "/usr/bin/firefox-esr",
      headless: true, extraPrefsFirefox: firefox_prefs });
  return puppeteer.launch({ executablePath: process.env.CHROMIUM || "/usr/bin/chromium", headless: true,
    args: chromium_flags.concat(extra) });
}

// The native program's answer: its standard output as bytes, its standard
// error as text, and its status.
function morlevix(args, language = "C") {
  const run = spawnSync(native, args, { cwd: work, env: { ...process.env, LC_ALL: language } });
  return { status: run.status, out: run.stdout, err: String(run.stderr) };
}

// The languages the browser says its user prefers, whatever this machine's.
async function prefer(page, languages) {
  if (engine === "webkit") page.language = languages[0].slice(0, 2);  // kept by the page itself, see webkit_driver.mjs
  else await page.evaluateOnNewDocument((l) => Object.defineProperty(navigator, "languages", { get: () => l }), languages);
}

async function open_page(b = browser, { languages = ["fr-FR", "fr"], query = "" } = {}) {
  const page = await b.newPage();
  const problems = [];
  page.on("pageerror", (e) => problems.push(e.message));
  page.problems = problems;
  await prefer(page, languages);
  await page.goto(pathToFileURL(page_file).href + query);
  await page.evaluate(() => window.morlevix.ready);
  return page;
}

const text_of = (page, selector) => page.$eval(selector, (e) => e.textContent);

// Waits until the sound plays, then `seconds` more. The page's clock is the
// audio's own, and a browser may take a second or two to open its output
// (a sound server's first buffers move it by a few milliseconds, then it
// stands until the output runs).
// Waits until the page's clock shows `seconds` played, and gives the clock
// and the sound's position as they were at that moment, seen in one look.
// The page sets its clock on a timer that a browser may slow down, so the
// clock is waited for rather than read after a fixed time; the position
// tells whether it ran ahead of the sound.
async function played_for(page, seconds) {
  const until = Date.now() + 20000;
  const shown = Math.floor(seconds / 60) + ":" + String(seconds % 60).padStart(2, "0");
  for (;;) {
    const seen = await page.evaluate(() => ({
      position: window.morlevix.playback().position,
      elapsed: document.getElementById("elapsed").textContent,
    }));
    if (seen.elapsed === shown) {
      assert.ok(seen.position >= seconds, "the clock shows " + shown + " at " + seen.position + " s of sound");
      return seen;
    }
    if (Date.now() > until) throw new Error("the clock did not reach " + shown + ": " + JSON.stringify(seen));
    await new Promise((r) => setTimeout(r, 50));
  }
}

// Calls window.morlevix[name] on bytes, in the page; bytes travel as base64.
async function in_page(page, name, bytes) {
  const result = await page.evaluate(async (name, b64) => {
    const bytes = Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
    const r = window.morlevix[name](bytes);
    const to64 = (u8) => { let s = ""; for (let i = 0; i < u8.length; i += 0x8000) s += String.fromCharCode(...u8.subarray(i, i + 0x8000)); return btoa(s); };
    if (r instanceof Uint8Array) return { bytes: to64(r) };
    if (r.image) return { report: r.report, bytes: to64(r.image) };
    return { json: r };
  }, name, Buffer.from(bytes).toString("base64"));
  if (result.bytes !== undefined) result.bytes = Buffer.from(result.bytes, "base64");
  return result;
}

const tapes = path.join(work, "tapes");
const recordings = path.join(work, "recordings");

before(async () => {
  execFileSync(path.join(native_build, "make_seed_corpus"), [tapes]);
  execFileSync(path.join(native_build, "tests", "make_test_recordings"), [recordings]);
  fs.copyFileSync(path.join(source, "examples", "DEMO.K7"), path.join(work, "DEMO.K7"));
  browser = await launch();
});

after(async () => {
  await browser?.close();
  fs.rmSync(work, { recursive: true, force: true });
});

test("the page loads from disk and asks the network for nothing", async () => {
  const page = await browser.newPage();
  const requests = [];
  page.on("request", (r) => requests.push(r.url()));
  await page.goto(pathToFileURL(page_file).href);
  await page.evaluate(() => window.morlevix.ready);
  // What the page itself says it fetched, in every engine (WebDriver
  // classic sees no request).
  requests.push(...await page.evaluate(() => performance.getEntriesByType("resource").map((e) => e.name)));
  assert.match(await page.$eval("#status", (e) => e.textContent), /^(Prêt|Ready)\.$/);
  for (const url of requests) assert.match(url, /^(file|data|blob):/, "a request to " + url.slice(0, 80));
  await page.close();
});

test("convert gives the native program's WAVs, list its files and problems", async () => {
  const page = await open_page();
  for (const name of fs.readdirSync(tapes).concat(["../DEMO.K7"])) {
    const image = fs.readFileSync(path.join(tapes, name));
    const wav = morlevix(["convert", "-o", "-", path.join(tapes, name)]).out;
    assert.ok((await in_page(page, "convert", image)).bytes.equals(wav), name);

    // The core's lines come in both languages, each as the program says it.
    const listed = (await in_page(page, "list", image)).json;
    for (const [language, locale, separator] of [["fr", "C", " : "], ["en", "en_US.UTF-8", ": "]]) {
      const native_list = morlevix(["list", path.join(tapes, name)], locale);
      const native_lines = String(native_list.out).split("\n").slice(2, -1);
      // A file that is not whole says so after its line, as list says it.
      const incomplete = { fr: "  incomplet", en: "  incomplete" }[language];
      assert.deepEqual(listed.files.map((f) => f.line[language] + (f.whole === false ? incomplete : "")), native_lines, name);
      const prefix = "morlevix: " + path.join(tapes, name) + separator;
      const native_problems = native_list.err.split("\n").filter((l) => l).map((l) => l.slice(prefix.length));
      assert.deepEqual(listed.problems.concat(listed.notes).map((p) => p.text[language]), native_problems, name);
    }
    // (WebDriver hands objects back with their keys in any order.)
    for (const f of listed.files)
      for (const key of ["name", "type", "type_text", "blocks", "bytes", "end_block", "whole"]) assert.ok(key in f, name + ": " + key);
  }
  assert.deepEqual(page.problems, []);
  await page.close();
});

test("a tape given to the file chooser shows its files and problems", async () => {
  const page = await open_page();
  const damaged = path.join(work, "ABIME.k7");
  const demo = fs.readFileSync(path.join(work, "DEMO.K7"));
  const broken = Buffer.from(demo);
  broken[30] ^= 0xFF;  // a byte of the first data block: its checksum goes wrong
  fs.writeFileSync(damaged, broken);
  await (await page.$("#tapes")).uploadFile(damaged);
  await page.waitForSelector("section.tape");
  const card = await page.$eval("section.tape", (s) => ({
    title: s.querySelector("h2").textContent,
    rows: [...s.querySelectorAll("tbody tr")].map((r) => [...r.cells].map((c) => c.textContent.trim())),
    problems: [...s.querySelectorAll(".problems li")].map((li) => li.textContent),
  }));
  assert.equal(card.title, "ABIME.k7");
  // A file with a block wrong is not whole, as list says it.
  assert.deepEqual(card.rows, [["DEMO     incomplet", "02 code machine", "3", "603", "oui", ""]]);
  assert.deepEqual(card.problems, ["bloc 01 de 255 octets a la position 19 : somme de controle fausse"]);
  await page.close();
});

test("an MP3 and an Ogg recording given to the chooser show their tape's files", async (t) => {
  // Made by sox from the program's own WAV of the example tape; the
  // browser's decoder reads them, the tape core the samples.
  const wav = path.join(work, "DEMO.wav");
  assert.equal(morlevix(["convert", "-o", wav, "DEMO.K7"]).status, 0);
  const made = [];
  for (const name of ["DEMO.mp3", "DEMO.ogg"]) {
    const sox = spawnSync("sox", [wav, "-C", name.endsWith(".mp3") ? "128" : "5", path.join(work, name)]);
    if (sox.status === 0) made.push(name);
    else t.diagnostic("sox could not make " + name + ": " + (sox.error ? sox.error.message : String(sox.stderr)));
  }
  const page = await open_page();
  const cannot = [];
  for (const name of made) {
    await (await page.$("#tapes")).uploadFile(path.join(work, name));
    // Its card, once the browser has decoded it (WebDriver's wait takes no arguments).
    let card = null;
    for (let tries = 0; !card && tries < 300; tries++) {
      card = await page.evaluate((n) => {
        const section = [...document.querySelectorAll("section")].find((s) => (s.querySelector("h2") || {}).textContent?.startsWith(n));
        return section ? { className: section.className,
          rows: [...section.querySelectorAll("tbody tr")].map((r) => [...r.cells].map((c) => c.textContent.trim())),
          problems: [...section.querySelectorAll(".problems li")].map((li) => li.textContent) } : null;
      }, name);
      if (!card) await new Promise((r) => setTimeout(r, 100));
    }
    assert.ok(card, name + ": no card");
    if (card.problems.length === 1 && /décoder|decode/.test(card.problems[0])) {
      cannot.push(name);  // refused in words: this engine has no decoder for it
      continue;
    }
    assert.equal(card.className, "recording", name);
    assert.deepEqual(card.rows, [["DEMO", "02 code machine", "3", "603", "oui", ""]], name);
    assert.equal(card.problems.length, 0, name + ": " + card.problems.join("; "));
  }
  // Said in the test's output, not hidden: what this engine cannot decode.
  if (cannot.length > 0) t.diagnostic(engine + " cannot decode " + cannot.join(", ") + "; the page says so in words");
  assert.deepEqual(page.problems, []);
  await page.close();
});

test("tapping a BASIC file shows its program as morlevix basic lists it", async () => {
  const listing = path.join(work, "PROG.bas");
  fs.writeFileSync(listing, "20 GOTO 10\n10 CLS:?\"ALICE\";SCORE\n");
  assert.equal(morlevix(["make", "-o", "PROG.k7", listing]).status, 0);
  const page = await open_page();
  await (await page.$("#tapes")).uploadFile(path.join(work, "PROG.k7"));
  await page.waitForSelector("section.tape button.basic");
  await page.click("section.tape button.basic");
  const shown = await page.$eval("section.tape .program pre", (pre) => pre.textContent);
  assert.equal(shown, String(morlevix(["basic", "PROG.k7"]).out));
  assert.equal(shown, "10 CLS:PRINT\"ALICE\";SCORE\n20 GOTO 10\n");
  await page.close();
});

test("play, pause and stop move the progress and the playhead over the tape", async () => {
  const page = await open_page();
  await (await page.$("#tapes")).uploadFile(path.join(work, "DEMO.K7"));
  await page.waitForSelector("#player:not([hidden])");
  const state = () => page.evaluate(() => ({
    elapsed: document.getElementById("elapsed").textContent,
    total: document.getElementById("total").textContent,
    bar: parseFloat(document.getElementById("progress-bar").style.width),
    head: Number(document.getElementById("timeline").dataset.playhead),
    file: document.getElementById("current-file").textContent,
  }));
  assert.equal((await state()).total, "0:06");
  await page.click("#play");
  assert.equal((await played_for(page, 1)).elapsed, "0:01");
  const playing = await state();
  assert.ok(playing.bar > 10 && playing.head > 0, JSON.stringify(playing));
  assert.equal(playing.file.trim(), "DEMO");

  await page.click("#pause");
  const paused = await state();
  await new Promise((r) => setTimeout(r, 700));
  assert.deepEqual(await state(), paused, "pause holds");
  assert.ok(paused.bar >= playing.bar);

  await page.click("#stop");
  const stopped = await state();
  assert.equal(stopped.elapsed, "0:00");
  assert.equal(stopped.bar, 0);
  assert.equal(stopped.head, 0);
  await page.close();
});

test("a long tape plays in pieces, each the native WAV's bytes, a few seconds queued", async () => {
  // About 25 minutes of tape.
  const code = path.join(work, "LONG.bin");
  fs.writeFileSync(code, Buffer.from(Array.from({ length: 300000 }, (_, i) => (i * 7919) % 251)));
  assert.equal(morlevix(["make", "-o", "LONG.k7", "--load", "4000", code]).status, 0);
  const image = fs.readFileSync(path.join(work, "LONG.k7"));
  assert.equal(morlevix(["convert", "LONG.k7"]).status, 0);
  const wav = fs.readFileSync(path.join(work, "LONG.wav"));
  const page = await open_page();
  const pieces = await page.evaluate((b64, total_wanted) => {
    const bytes = Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
    const total = window.morlevix.sampleCount(bytes);
    const at = (first, count) => { let s = ""; for (const b of window.morlevix.samples(bytes, first, count)) s += String.fromCharCode(b); return btoa(s); };
    return { total, start: at(0, 30011), middle: at(Math.floor(total / 2), 30011), end: at(total - 30011, 30011), past: at(total - 5, 100) };
  }, image.toString("base64"));
  const data = wav.subarray(44);
  assert.equal(pieces.total, data.length);
  const half = Math.floor(data.length / 2);
  for (const [name, first, count] of [["start", 0, 30011], ["middle", half, 30011], ["end", data.length - 30011, 30011],
                                      ["past", data.length - 5, 5]])
    assert.ok(Buffer.from(pieces[name], "base64").equals(data.subarray(first, first + count)), name);

  await (await page.$("#tapes")).uploadFile(path.join(work, "LONG.k7"));
  await page.waitForSelector("#player:not([hidden])");
  assert.equal(await text_of(page, "#total"), Math.floor(data.length / 44100 / 60) + ":" +
    String(Math.floor(data.length / 44100) % 60).padStart(2, "0"));
  await page.click("#play");
  await played_for(page, 1);
  const playing = await page.evaluate(() => window.morlevix.playback());
  assert.ok(playing.queued >= 1 && playing.queued <= 4, JSON.stringify(playing));
  await page.close();
});

test("the downloaded WAV is the native program's", async () => {
  const page = await open_page();
  await (await page.$("#tapes")).uploadFile(path.join(work, "DEMO.K7"));
  await page.waitForSelector("#player:not([hidden])");
  const linked = await page.$eval("#download-wav", async (a) => {
    a.dispatchEvent(new Event("pointerdown"));  // the WAV is made as the link is touched
    const bytes = new Uint8Array(await (await fetch(a.href)).arrayBuffer());
    let s = "";
    for (const b of bytes) s += String.fromCharCode(b);
    return { name: a.download, bytes: btoa(s) };
  });
  assert.equal(linked.name, "DEMO.wav");
  assert.ok(Buffer.from(linked.bytes, "base64").equals(morlevix(["convert", "-o", "-", "DEMO.K7"]).out));
  await page.close();
});

test("the download link saves the file", { skip: chromium_only }, async () => {
  const page = await open_page();
  const downloads = fs.mkdtempSync(path.join(work, "downloads-"));
  const cdp = await page.createCDPSession();
  await cdp.send("Browser.setDownloadBehavior", { behavior: "allow", downloadPath: downloads });
  await (await page.$("#tapes")).uploadFile(path.join(work, "DEMO.K7"));
  await page.waitForSelector("#player:not([hidden])");
  await page.click("#download-wav");
  const saved = path.join(downloads, "DEMO.wav");
  for (let i = 0; i < 50 && !fs.existsSync(saved); ++i) await new Promise((r) => setTimeout(r, 100));
  assert.ok(fs.readFileSync(saved).equals(morlevix(["convert", "-o", "-", "DEMO.K7"]).out));
  await page.close();
});

test("at phone size and desktop size, screenshots, and no sideways scrolling", async () => {
  const phone = engine === "chromium" ? { width: 360, height: 800, deviceScaleFactor: 2, isMobile: true, hasTouch: true }
                                      : { width: 360, height: 800, deviceScaleFactor: 2 };
  const suffix = engine === "chromium" ? "" : "-" + engine;
  for (const [name, viewport] of [["phone", phone], ["desktop", { width: 1280, height: 900 }]]) {
    const page = await open_page();
    await page.setViewport(viewport);  // a page reloads when it becomes a phone's
    await page.evaluate(() => window.morlevix.ready);
    await (await page.$("#tapes")).uploadFile(path.join(work, "DEMO.K7"));
    await page.waitForSelector("#player:not([hidden])");
    await page.click("#play");
    await new Promise((r) => setTimeout(r, 1200));
    await page.click("#pause");
    const widths = await page.evaluate(() => [document.documentElement.scrollWidth, window.innerWidth]);
    assert.ok(widths[0] <= widths[1], name + ": " + widths);
    // Every control a finger can reach is at least 44 px tall.
    const small = await page.evaluate(() => [...document.querySelectorAll("button, a.button, label.button, summary, input[type=range]")]
      .filter((e) => e.offsetParent !== null && e.getBoundingClientRect().height < 44).map((e) => e.id || e.textContent));
    assert.deepEqual(small, [], name);
    await page.screenshot({ path: path.join(output, "screenshot-" + name + suffix + ".png"), fullPage: true });
    await page.close();
  }
});

test("a recording dropped on the page gives what morlevix decode gives", async () => {
  const page = await open_page();
  for (const name of fs.readdirSync(recordings)) {
    const wav = fs.readFileSync(path.join(recordings, name));
    const native_image = morlevix(["decode", "-o", "-", path.join(recordings, name)]).out;
    assert.ok((await in_page(page, "decode", wav)).bytes.equals(native_image), name);
  }
  await (await page.$("#tapes")).uploadFile(path.join(recordings, "vieille.wav"));
  await page.waitForSelector("section.recording a.button");
  const names = await page.$$eval("section.recording tbody tr td:first-child", (tds) => tds.map((t) => t.textContent.trim()));
  assert.deepEqual(names, ["UN", "DEUX"]);
  await page.close();
});

test("a recording's map shows each block where it was heard, and the blocks lost, in either language", async () => {
  const wav = fs.readFileSync(path.join(recordings, "perdu.wav"));
  for (const [languages, lost_words] of [[["fr-FR", "fr"], "un bloc perdu"], [["en-GB", "en"], "one block lost"]]) {
    const page = await open_page(browser, { languages });
    await page.setViewport({ width: 360, height: 800 });
    await page.evaluate(() => window.morlevix.ready);
    const report = (await in_page(page, "decode", wav)).report;
    assert.equal(report.lost.length, 2, "two stretches of blocks lost");
    await (await page.$("#tapes")).uploadFile(path.join(recordings, "perdu.wav"));
    await page.waitForSelector("section.recording canvas.map");
    const drawn = await page.$eval("section.recording canvas.map", (c) => ({ kinds: c.dataset.blocks, width: c.width }));
    assert.ok(drawn.width > 0 && /sound/.test(drawn.kinds), JSON.stringify(drawn));
    // A tap on a block says how it was heard; on a stretch lost, what was lost.
    const tap = (seconds) => page.evaluate((at, total) => {
      const canvas = document.querySelector("section.recording canvas.map");
      const r = canvas.getBoundingClientRect();
      canvas.dispatchEvent(new MouseEvent("click", { clientX: r.left + at / total * r.width, clientY: r.top + r.height / 2, bubbles: true }));
      return document.querySelector("section.recording .figures").textContent;
    }, seconds, report.seconds);
    const block = report.blocks[2];
    assert.match(await tap(block.seconds + block.duration / 2), /dBFS/);
    assert.ok((await tap((report.lost[1].start + report.lost[1].end) / 2)).includes(lost_words));
    assert.ok(await page.$eval("section.recording .incomplete", (e) => e.textContent.length > 0), "the file is said not whole");
    const widths = await page.evaluate(() => [document.documentElement.scrollWidth, window.innerWidth]);
    assert.ok(widths[0] <= widths[1], "no sideways scrolling at phone width: " + widths);
    if (languages[0] === "fr-FR" && engine === "chromium") {
      await page.setViewport({ width: 900, height: 900 });
      const card = await page.$("section.recording");
      await card.screenshot({ path: path.join(output, "screenshot-map.png") });
    }
    await page.close();
  }
});

test("takes given together merge as morlevix decode --merge merges them", async () => {
  // Each take is broken in another block; merged, they give the whole tape.
  const page = await open_page();
  const names = ["prise1.wav", "prise2.wav"];
  const native = morlevix(["decode", "--merge", "-o", "-"].concat(names.map((n) => path.join("recordings", n))));
  assert.equal(native.status, 0, native.err);
  const lines = native.err.split("\n").slice(1, -1).map((l) => l.replaceAll("recordings/", ""));
  const merged = await page.evaluate((takes) => {
    const bytes = (b64) => Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
    const r = window.morlevix.merge(takes.map((take) => ({ name: take.name, bytes: bytes(take.b64) })), "prise1.k7");
    return { report: r.report, image: Array.from(r.image) };
  }, names.map((n) => ({ name: n, b64: fs.readFileSync(path.join(recordings, n)).toString("base64") })));
  assert.ok(Buffer.from(merged.image).equals(native.out));
  assert.deepEqual(merged.report.takes_of_files.map((f) => f.fr), lines);
  assert.deepEqual(merged.report.problems, []);

  // Given together, the page offers to merge them, and shows the merge.
  await (await page.$("#tapes")).uploadFile(...names.map((n) => path.join(recordings, n)));
  await page.waitForSelector("section.takes button.merge");
  await page.click("section.takes button.merge");
  await page.waitForSelector("section.takes a.button");
  assert.equal(await text_of(page, "section.takes pre"), lines.join("\n"));
  assert.equal(await page.$eval("section.takes a.button", (a) => a.download), "prise1.k7");
  const files = await page.$$eval("section.takes tbody tr td:first-child", (tds) => tds.map((t) => t.textContent.trim()));
  assert.deepEqual(files, ["UN", "DEUX"]);
  assert.deepEqual(page.problems, []);
  await page.close();
});

test("recording from the sound input gives what morlevix decode gives", { skip: chromium_only }, async () => {
  // Chromium's fake capture device plays the recording, once, as the input.
  const recording = path.join(recordings, "vieille.wav");
  const listening = await launch(["--use-fake-ui-for-media-stream", "--use-fake-device-for-media-stream",
    "--use-file-for-fake-audio-capture=" + recording + "%noloop"]);
  try {
    const page = await open_page(listening);
    await page.click("#record");
    const seconds = (fs.statSync(recording).size - 44) / 2 / 44100;
    await new Promise((r) => setTimeout(r, (seconds + 1.5) * 1000));
    await page.click("#record-stop");
    const heard = await page.evaluate(() => {
      const image = window.morlevix.lastRecording.image;
      let s = "";
      for (const b of image) s += String.fromCharCode(b);
      return { image: btoa(s), files: [...document.querySelectorAll("#record-files li")].map((li) => li.textContent) };
    });
    assert.deepEqual(heard.files.map((f) => f.trim()), ["UN", "DEUX"]);
    assert.ok(Buffer.from(heard.image, "base64").equals(morlevix(["decode", "-o", "-", recording]).out));
    assert.ok(await page.$eval("#download-k7", (a) => !a.hidden));
  } finally {
    await listening.close();
  }
});

test("the page speaks the browser's language, French or English, and keeps the one chosen", { skip: not_in_webdriver }, async () => {
  const own = await launch();  // a profile of its own: the choice is kept there
  try {
    let page = await open_page(own, { languages: ["en-US", "en"] });
    const words = async () => ({ lang: await page.$eval("html", (h) => h.lang), status: await text_of(page, "#status"),
      play: await text_of(page, "#play"), record: await text_of(page, "#record"), other: await text_of(page, "#language") });
    assert.deepEqual(await words(), { lang: "en", status: "Ready.", play: "Play", record: "Record", other: "Français" });
    await (await page.$("#tapes")).uploadFile(path.join(work, "DEMO.K7"));
    await page.waitForSelector("section.tape");
    assert.equal(await text_of(page, "section.tape thead"), "NameTypeBlocksBytesEnd");

    await page.click("#language");
    assert.deepEqual(await words(), { lang: "fr", status: "Prêt.", play: "Lecture", record: "Enregistrer", other: "English" });
    assert.equal(await text_of(page, "section.tape thead"), "NomTypeBlocsOctetsFin");
    assert.equal(await text_of(page, "#download-wav"), "Télécharger le .wav");
    assert.equal(await text_of(page, "#record-stop"), "Arrêter");
    await page.close();

    // Opened again by an English browser: the French chosen stays.
    page = await open_page(own, { languages: ["en-US", "en"] });
    assert.equal(await text_of(page, "#play"), "Lecture");
    await page.close();
  } finally {
    await own.close();
  }
});

test("playback that cannot start says so, and starts with a tap", async () => {
  // A browser whose sound stays suspended until a tap allows it (as iOS
  // does, or a machine without a sound output): the page's audio contexts
  // start suspended, and resume only once the test says a tap happened.
  // The page makes its audio context at the first Lecture, so the browser
  // is made so once the page has loaded.
  const page = await open_page();
  await page.evaluate(() => {
    window.soundAllowed = false;
    const Real = window.AudioContext;
    window.AudioContext = function (options) {
      const context = new Real(options);
      context.suspend();
      const resume = context.resume.bind(context);
      context.resume = () => (window.soundAllowed ? resume() : Promise.resolve());
      return context;
    };
  });
  await (await page.$("#tapes")).uploadFile(path.join(work, "DEMO.K7"));
  await page.waitForSelector("#player:not([hidden])");
  await page.click("#play");
  await page.waitForSelector("#no-sound:not([hidden])", { timeout: 5000 });
  assert.equal(await text_of(page, "#elapsed"), "0:00", "the clock is the audio's, and it stands");
  assert.match(await text_of(page, "#no-sound"), /Le son ne démarre pas/);
  await page.evaluate(() => { window.soundAllowed = true; });
  await page.click("#sound-on");
  await page.waitForSelector("#no-sound[hidden]", { timeout: 5000 });
  assert.equal((await played_for(page, 1)).elapsed, "0:01");
  assert.equal((await page.evaluate(() => window.morlevix.playback())).state, "running");
  await page.close();
});

test("a link ?k7=URL opens that tape ready to play, and says why it cannot", async () => {
  const demo = fs.readFileSync(path.join(work, "DEMO.K7"));
  const server = http.createServer((request, response) => {
    const cors = { "Access-Control-Allow-Origin": "*" };
    if (request.url === "/jeux/DEMO.K7") response.writeHead(200, cors).end(demo);
    else if (request.url === "/texte.txt") response.writeHead(200, cors).end("pas une cassette");
    else if (request.url === "/ferme.k7") response.writeHead(200).end(demo);  // no CORS: the browser refuses it
    else response.writeHead(404, cors).end();
  });
  await new Promise((r) => server.listen(0, "127.0.0.1", r));
  const base = "http://127.0.0.1:" + server.address().port;
  try {
    let page = await open_page(browser, { query: "?k7=" + encodeURIComponent(base + "/jeux/DEMO.K7") });
    await page.waitForSelector("#player:not([hidden])");
    assert.equal(await text_of(page, "#player-title"), "DEMO.K7");
    assert.equal(await text_of(page, "#total"), "0:06");
    assert.ok(await page.$eval("#link-status", (e) => e.hidden));
    await page.close();

    for (const [where, said] of [["/absent.k7", "le serveur répond 404"], ["/texte.txt", "ni une image .k7 ni un enregistrement"],
                                 ["/ferme.k7", "pas de réponse du réseau"]]) {
      page = await open_page(browser, { query: "?k7=" + encodeURIComponent(base + where) });
      await page.waitForFunction(() => document.getElementById("link-status").className === "problems");
      assert.match(await text_of(page, "#link-status"), new RegExp(said), where);
      assert.ok(await page.$eval("#player", (e) => e.hidden), where);
      await page.close();
    }
  } finally {
    server.close();
  }
});

// The site folder as a host holds it, a tape beside it; served on
// 127.0.0.1 as any static host serves it.
function hosted_site() {
  const folder = fs.mkdtempSync(path.join(work, "site-"));
  fs.cpSync(process.env.MORLEVIX_SITE, folder, { recursive: true });
  fs.copyFileSync(path.join(work, "DEMO.K7"), path.join(folder, "DEMO.k7"));
  return folder;
}

async function serve(folder) {
  const types = { ".html": "text/html", ".js": "text/javascript", ".webmanifest": "application/manifest+json",
    ".png": "image/png", ".k7": "application/octet-stream" };
  const server = http.createServer((request, response) => {
    const file = path.join(folder, decodeURIComponent(new URL(request.url, "http://x").pathname));
    if (!file.startsWith(folder) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) return response.writeHead(404).end();
    response.writeHead(200, { "Content-Type": types[path.extname(file).toLowerCase()] || "application/octet-stream" });
    response.end(fs.readFileSync(file));
  });
  await new Promise((r) => server.listen(0, "127.0.0.1", r));
  return { server, base: "http://127.0.0.1:" + server.address().port };
}

test("the site folder installs, and after one visit works offline", { skip: chromium_only }, async () => {
  const site = hosted_site();
  const { server, base } = await serve(site);
  const own = await launch();
  try {
    const page = await own.newPage();
    await prefer(page, ["fr-FR"]);
    await page.goto(base + "/index.html");
    await page.evaluate(() => window.morlevix.ready);
    // The manifest names icons that are there, as PNGs of their size.
    const manifest = await page.evaluate(async () => (await fetch(document.querySelector('link[rel="manifest"]').href)).json());
    assert.equal(manifest.display, "standalone");
    for (const icon of manifest.icons) {
      const png = fs.readFileSync(path.join(site, icon.src));
      assert.equal(png.subarray(1, 4).toString(), "PNG", icon.src);
      assert.equal(png.readUInt32BE(16) + "x" + png.readUInt32BE(20), icon.sizes, icon.src);
    }
    await page.waitForFunction(() => navigator.serviceWorker.controller !== null, { timeout: 10000 });

    // No network at all: the server is gone and the browser is offline.
    await new Promise((r) => server.close(r));
    await page.setOfflineMode(true);
    await page.reload();
    await page.evaluate(() => window.morlevix.ready);
    assert.equal(await text_of(page, "#status"), "Prêt.");
    const demo = fs.readFileSync(path.join(work, "DEMO.K7"));
    assert.ok((await in_page(page, "convert", demo)).bytes.equals(morlevix(["convert", "-o", "-", "DEMO.K7"]).out));
    await (await page.$("#tapes")).uploadFile(path.join(work, "DEMO.K7"));
    await page.waitForSelector("section.tape tbody tr");
    await page.click("#play");
    assert.equal((await played_for(page, 1)).elapsed, "0:01");
    await page.close();
  } finally {
    server.close();
    await own.close();
  }
});

test("the site opens a tape of its own host from ?k7=", async () => {
  const { server, base } = await serve(hosted_site());
  try {
    const page = await browser.newPage();
    await prefer(page, ["en-US"]);
    await page.goto(base + "/index.html?k7=DEMO.k7");
    await page.waitForSelector("#player:not([hidden])");
    assert.equal(await text_of(page, "#player-title"), "DEMO.k7");
    assert.equal(await text_of(page, "#play"), "Play");
    await page.close();
  } finally {
    server.close();
  }
});
