// The map of a recording: its time from start to end, each block where it
// was heard, coloured by what it was (sound; sound but by little; wrong or
// broken off), where blocks were lost or tape signal was heard but not read,
// and the files' names above their headers. A tap or click on a block says
// its figures: a person sees at once which stretch of the cassette to
// record again.
import { clock, element } from "./helpers.js";
import { t } from "./texts.js";

const COLOURS = { sound: "#8a5a2b", weak: "#d98a1c", wrong: "#b8322a", broken: "#b8322a", lost: "#5b5f6b", unread: "#a9adb8" };
const HEADER = 0;  // a header block's type
const PERCENT = 100;
const NEAREST = 6;  // pixels either side that a tap still takes for a block

// The maps on the page, drawn again when its width changes: one listener
// for all of them, and a map replaced (the recorder's, twice a second) goes.
const shown = new Set();  // of {canvas, draw, drawn}
window.addEventListener("resize", () => shown.forEach((m) => m.draw()));

const WEAK_MARGIN = 0.15;  // a sound block heard by little: the one to record again
// How the map shows a block the tape core read one way or another.
const kindOf = (b) => (b.reading === "sound" || b.reading === "read_without_sync" ? (b.margin < WEAK_MARGIN ? "weak" : "sound") :
  b.reading === "broken_off" ? "broken" : "wrong");

// The map of a recording's report (as `morlevix decode --json` writes one
// tape's): its length, its blocks, the stretches lost and the signal no
// block covers, its files' names.
export function recordingMap(report) {
  const map = {
    seconds: report.seconds,
    blocks: report.blocks.map((b) => [b.seconds, b.duration, kindOf(b), b.type, b.file, b.speed, b.level_dbfs, b.margin]),
    lost: report.lost.map((l) => [l.start, l.end, l.blocks, l.signal]),
    unread: report.unread.map((u) => [u.start, u.end]),
  };
  const names = report.files.map((f) => f.name);
  const canvas = element("canvas", { className: "map" });
  canvas.setAttribute("aria-label", t("mapLabel"));
  canvas.dataset.blocks = map.blocks.map((b) => b[2]).join(" ");
  canvas.dataset.lost = map.lost.map((l) => clock(l[0]) + "-" + clock(l[1])).join(" ");
  const figures = element("p", { className: "figures time", textContent: t("mapHint") });
  const legend = element("p", { className: "legend" }, [["sound", "legendSound"], ["weak", "legendWeak"],
    ["wrong", "legendWrong"], ["lost", "legendLost"]].map(([kind, key]) =>
    element("span", {}, [element("span", { className: "swatch", style: "background:" + COLOURS[kind] }), t(key)])));
  const entry = { canvas, drawn: false, draw: () => {
    if (!canvas.isConnected) return;
    entry.drawn = true;
    drawMap(canvas, map, names);
  } };
  canvas.addEventListener("click", (e) => {
    const rect = canvas.getBoundingClientRect();
    const at = (e.clientX - rect.left) / rect.width * map.seconds;
    figures.textContent = describe(map, at, NEAREST / rect.width * map.seconds);
  });
  // Drawn once the card is on the page, and again when the page's width
  // changes; the maps drawn and since taken off the page are let go.
  shown.forEach((m) => { if (m.drawn && !m.canvas.isConnected) shown.delete(m); });
  shown.add(entry);
  requestAnimationFrame(entry.draw);
  return element("div", { className: "recording-map" }, [canvas, legend, figures]);
}

function drawMap(canvas, map, names) {
  const scale = window.devicePixelRatio || 1;
  const width = canvas.clientWidth, height = canvas.clientHeight;
  if (width === 0) return;
  canvas.width = Math.round(width * scale);
  canvas.height = Math.round(height * scale);
  const g = canvas.getContext("2d");
  g.setTransform(scale, 0, 0, scale, 0, 0);
  g.clearRect(0, 0, width, height);
  const x = (seconds) => seconds / map.seconds * width;
  const band = { top: height * 0.45, height: height * 0.4 };
  for (const [start, end] of map.unread) {
    g.fillStyle = COLOURS.unread;
    g.fillRect(x(start), band.top + band.height * 0.3, Math.max(1, x(end) - x(start)), band.height * 0.4);
  }
  for (const [start, end] of map.lost) {
    g.fillStyle = COLOURS.lost;
    g.fillRect(x(start), band.top - 4, Math.max(2, x(end) - x(start)), band.height + 8);
  }
  for (const [start, length, kind] of map.blocks) {
    g.fillStyle = COLOURS[kind];
    g.fillRect(x(start), band.top, Math.max(2, x(start + length) - x(start)), band.height);
  }
  g.fillStyle = "#1d2330";
  g.font = "13px system-ui, sans-serif";
  let lastLabelEnd = -1;
  for (const [start, , , type, file] of map.blocks) {
    if (type !== HEADER || file === null || !names[file]) continue;
    const label = names[file].trim();
    if (x(start) < lastLabelEnd) continue;
    const left = Math.min(x(start), width - g.measureText(label).width);
    g.fillText(label, left, band.top - 8);
    lastLabelEnd = left + g.measureText(label).width + 8;
  }
}

// What lies at `at` seconds (or within `near` of it): a block's figures,
// or a stretch of blocks lost, or of signal no block covers.
function describe(map, at, near) {
  const hit = (start, end) => at >= start - near && at <= end + near;
  const block = map.blocks.find(([start, length]) => hit(start, start + length));
  if (block) {
    const [start, , kind, type, , speed, level, margin] = block;
    const hex = type < 0 ? "" : " " + type.toString(16).padStart(2, "0");
    return t("blockAt") + hex + " " + t("at") + " " + clock(start) + " (" + t("kind_" + kind) + ") : " + t("speed") + " " +
      (speed * PERCENT).toFixed(1) + " %, " + t("level") + " " + level.toFixed(1) + " dBFS, " + t("margin") + " " +
      Math.floor(margin * PERCENT) + " %";
  }
  const lost = map.lost.find(([start, end]) => hit(start, end));
  if (lost)
    return t("lostFrom") + " " + clock(lost[0]) + " " + t("to") + " " + clock(lost[1]) + " : " +
      (lost[2] === 1 ? t("lostOne") : lost[2] + " " + t("lostBlocks"));
  const unread = map.unread.find(([start, end]) => hit(start, end));
  if (unread) return t("unreadFrom") + " " + clock(unread[0]) + " " + t("to") + " " + clock(unread[1]);
  return t("mapHint");
}
