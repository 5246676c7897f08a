// The tapes given to the page (chosen, dropped, or linked with ?k7=): a
// card for each, what it holds and what is wrong with it, as the program
// lists it; recordings decoded, and takes of one tape offered for merging.
/* global morlevixReady */
import { decodeInBrowser } from "./browser_audio.js";
import { core } from "./core.js";
import { $, baseName, downloadLink, element } from "./helpers.js";
import { recordingMap } from "./map.js";
import { choose, player } from "./player.js";
import { said, t } from "./texts.js";

const BLOCK = 2;  // a block, among the kinds of the layout's segments
const shown = [];  // every card, to show again in another language
// Shows a file opened by the tape core; true when it was a recording.
function addOpened(name, bytes, opened) {
  const recording = opened.report.kind === "recording";
  if (recording) {
    const item = { recording: true, name: name, decoded: { report: opened.report, image: opened.image } };
    shown.push(item);
    showRecording(item);
  } else {
    const item = { recording: false, tape: { name: name, bytes: bytes, listing: opened.report } };
    shown.push(item);
    showTape(item.tape);
    if (!player.tape) choose(item.tape);
  }
  return recording;
}
// A file opened: a tape image or a recording the tape core reads, else a
// recording the browser decodes, given to the core as a WAV; null when
// neither can read it.
async function openFile(bytes) {
  const kind = core.kind(bytes);
  const opened = kind === "audio" ? null : core.open(bytes);
  // A WAV our reader takes, or an image with blocks, stays the core's.
  const taken = opened && (kind === "wav" ? opened.report.blocks.length > 0 || !opened.report.error :
    core.layout(bytes).some((s) => s[0] === BLOCK));
  if (taken) return { bytes: bytes, opened: opened };
  const wav = await decodeInBrowser(bytes);
  if (wav) return { bytes: wav, opened: core.open(wav) };
  // Neither reads it: an image with no block shows as a tape with no file.
  return opened ? { bytes: bytes, opened: opened } : null;
}

function showUnreadable(name) {
  const item = { unreadable: true, name: name };
  shown.push(item);
  showRefusal(item);
}

function showRefusal(item) {
  $("tapes-list").append(element("section", { className: "recording" }, [element("h2", { textContent: item.name }),
    element("ul", { className: "problems" }, [element("li", { textContent: t("cannotDecode") })])]));
}

export async function addFiles(files) {
  await morlevixReady;
  const takes = [];
  for (const file of files) {
    const file_bytes = new Uint8Array(await file.arrayBuffer());
    const read = await openFile(file_bytes);
    if (!read) showUnreadable(file.name);
    else if (addOpened(file.name, read.bytes, read.opened)) takes.push({ name: file.name, bytes: read.bytes });
  }
  // Recordings given together may be takes of one tape: merging them is offered.
  if (takes.length > 1) {
    const item = { takes: takes, merged: null };
    shown.push(item);
    showTakes(item);
  }
}

// index.html?k7=URL: the image (or recording) at that address, ready to
// play. Without it the page asks nothing of the network.
export async function openLink() {
  const url = new URLSearchParams(location.search).get("k7");
  if (!url) return;
  const status = $("link-status");
  const say = (words, problem) => { status.hidden = false; status.className = problem ? "problems" : "hint"; status.textContent = words; };
  say(t("fetching") + url + "…", false);
  let response;
  try {
    response = await fetch(url);
  } catch (e) {
    say(t("fetchFailed") + url + t("unreachable"), true);
    return;
  }
  if (!response.ok) {
    say(t("fetchFailed") + url + t("serverSays") + response.status + (response.statusText ? " " + response.statusText : "") + ".", true);
    return;
  }
  const read = await openFile(new Uint8Array(await response.arrayBuffer()));
  if (!read || (read.opened.report.kind !== "recording" && !core.layout(read.bytes).some((s) => s[0] === BLOCK))) {
    say(t("fetchFailed") + url + t("notATape"), true);
    return;
  }
  status.hidden = true;
  let name = "cassette.k7";
  try { name = decodeURIComponent(new URL(url, location.href).pathname.split("/").pop()) || name; } catch (e) { /* kept */ }
  addOpened(name, read.bytes, read.opened);
}

// The files of a report: `onFile(index)` goes to a file; `onBasic(index)`,
// when given, lists a BASIC file's program. A file not whole says so.
function filesTable(report, onFile, onBasic) {
  const head = element("tr", {}, [t("name"), t("type"), t("blocks"), t("bytes"), t("end"), ""].map((h, i) =>
    element("th", { textContent: h, className: i >= 2 && i < 4 ? "number" : "" })));
  const rows = report.files.map((f, index) => {
    const label = onFile ? element("button", { className: "quiet", textContent: f.name || t("noName"),
      title: t("goToFile"), onclick: () => onFile(index) }) : f.name;
    const name = f.whole === false ?
      element("span", {}, [label, " ", element("strong", { className: "incomplete", textContent: t("incomplete") })]) : label;
    const program = onBasic && f.type === 0 ? [element("button", { className: "quiet basic", textContent: "BASIC",
      title: t("basicTitle"), onclick: () => onBasic(index) })] : [];
    return element("tr", {}, [element("td", {}, [name]), element("td", { textContent: said(f.type_text) }),
      element("td", { className: "number", textContent: f.blocks }), element("td", { className: "number", textContent: f.bytes }),
      element("td", { textContent: f.end_block ? t("yes") : t("no") }), element("td", {}, program)]);
  });
  return element("table", {}, [element("thead", {}, [head]), element("tbody", {}, rows)]);
}

// A report's lines (problems, notes) as the page shows them: their texts.
const texts = (lines) => lines.map((line) => line.text);

function problemsList(problems) {
  if (problems.length === 0) return element("p", { className: "ok", textContent: t("nothingWrong") });
  return element("ul", { className: "problems" }, problems.map((p) => element("li", { textContent: said(p) })));
}

// What the decoder says though nothing is wrong (a block read back from its
// end, noise set aside): told plainly, after the problems.
function notesList(notes) {
  return element("ul", { className: "notes" }, notes.map((n) => element("li", { textContent: said(n) })));
}

function showTape(tape) {
  const { name, bytes, listing } = tape;
  const program = element("div", { className: "program" });
  const showProgram = (index) => {
    const basic = core.basic(bytes, index);
    program.replaceChildren(element("h2", { textContent: listing.files[index].name.trim() + " (BASIC)" }),
      element("pre", { textContent: basic.text }), problemsList(basic.problems));
  };
  const card = element("section", { className: "tape" }, [
    element("h2", { textContent: name }),
    listing.files.length ? filesTable(listing, (i) => { choose(tape); player.seekToFile(i); }, showProgram) :
      element("p", { textContent: t("noFile") }),
    program,
    element("details", {}, [element("summary", { textContent: t("asList") }),
      element("pre", { textContent: [name, listing.files.length ? said(listing.files_heading) : t("listNoFile")]
        .concat(listing.files.map((f) => said(f.line))).join("\n") })]),
    problemsList(texts(listing.problems).concat(listing.error ? [listing.error.text] : [])),
    notesList(texts(listing.notes)),
    element("button", { textContent: t("listen"), onclick: () => choose(tape) }),
  ]);
  $("tapes-list").append(card);
}

function showRecording(item) {
  const { name, decoded } = item;
  const r = decoded.report;
  const children = [element("h2", { textContent: name + t("recording") })];
  if (r.blocks.length === 0) children.push(problemsList([r.error ? r.error.text : t("noBlockInRecording")]));
  else {
    children.push(filesTable(r, null, null), recordingMap(r),
      problemsList(texts(r.problems).concat(r.error ? [r.error.text] : [])), notesList(texts(r.notes)));
    const link = element("a", { className: "button", textContent: t("downloadK7") });
    downloadLink(link, decoded.image, "application/octet-stream", baseName(name) + ".k7");
    children.push(link);
  }
  $("tapes-list").append(element("section", { className: "recording" }, children));
}

// The offer to merge takes given together, then what the merge gave.
function showTakes(item) {
  const card = element("section", { className: "takes" });
  const render = () => {
    const names = item.takes.map((take) => take.name).join(" + ");
    if (!item.merged) {
      card.replaceChildren(element("h2", { textContent: t("takesTitle") }), element("p", { textContent: names }),
        element("p", { className: "hint", textContent: t("takesHint") }),
        element("button", { className: "merge", textContent: t("merge"), onclick: () => {
          item.merged = core.merge(item.takes, baseName(item.takes[0].name) + ".k7");
          item.takes = item.takes.map((take) => ({ name: take.name }));  // the recordings are no longer needed
          render();
        } }));
      return;
    }
    const { report, image } = item.merged;
    const children = [element("h2", { textContent: report.file + t("merged") })];
    if (report.blocks.length === 0) children.push(problemsList(texts(report.problems).concat([t("noBlockInRecording")])));
    else {
      children.push(element("pre", { className: "takes-of-files", textContent: report.takes_of_files.map(said).join("\n") }),
        filesTable(report, null), problemsList(texts(report.problems)));
      const link = element("a", { className: "button", textContent: t("downloadK7") });
      downloadLink(link, image, "application/octet-stream", baseName(item.takes[0].name) + ".k7");
      children.push(link);
    }
    card.replaceChildren(...children);
  };
  render();
  $("tapes-list").append(card);
}

// Every card again, in the language the page speaks now.
export function showAgain() {
  $("tapes-list").replaceChildren();
  for (const item of shown) {
    if (item.unreadable) showRefusal(item);
    else if (item.takes) showTakes(item);
    else if (item.recording) showRecording(item);
    else showTape(item.tape);
  }
}

// Files chosen or dropped on the page.
export function wireTapes() {
  $("tapes").addEventListener("change", (e) => {
    const files = Array.from(e.target.files);  // the list empties with the value
    e.target.value = "";
    addFiles(files);
  });
  document.addEventListener("dragover", (e) => { e.preventDefault(); $("drop").classList.add("dragging"); });
  document.addEventListener("dragleave", () => $("drop").classList.remove("dragging"));
  document.addEventListener("drop", (e) => {
    e.preventDefault();
    $("drop").classList.remove("dragging");
    addFiles(Array.from(e.dataTransfer.files));
  });
}
