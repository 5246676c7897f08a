// The player: a tape's sound made in pieces as it plays, a few seconds
// queued in the audio's own timeline, so that an hour-long tape plays in
// the memory of a few seconds; the buttons, the clock and the picture of
// the tape with its playhead.
import { core } from "./core.js";
import { $, baseName, clock } from "./helpers.js";

const SAMPLE_RATE = 44100;
const SILENCE_LEVEL = 128;
const LEADER = 1, BLOCK = 2;  // kinds of the layout's segments
const PROGRESS_INTERVAL = 100;       // milliseconds between updates while playing
const PIECE = 2 * 44100;             // samples made at a time
const PIECES_AHEAD = 3;              // queued in the audio's own timeline
const START_LEAD = 0.05;             // seconds between a Lecture and its first sample
const SOUND_START_WAIT = 2000;       // milliseconds for the sound to start before the page says it did not

export const player = {
  tape: null, layout: [], total: 0, context: null, gain: null,
  sources: [], nextSample: 0, nextTime: 0, startedAt: 0, offset: 0, playing: false, wakeLock: null, ticker: 0,
  duration() { return this.total / SAMPLE_RATE; },
  position() {
    return this.playing ? Math.min(this.duration(), Math.max(0, this.context.currentTime - this.startedAt)) : this.offset;
  },
};

// Makes `tape` the one the player plays, from its start.
export function choose(tape) {
  stop();
  player.tape = tape;
  player.layout = core.layout(tape.bytes);
  player.total = core.sampleCount(tape.bytes);
  $("player").hidden = false;
  $("player-title").textContent = tape.name;
  $("total").textContent = clock(player.duration());
  // The WAV is made when it is asked for, not held all along.
  const link = $("download-wav");
  if (link.dataset.made) URL.revokeObjectURL(link.href);
  link.dataset.made = "";
  link.href = "#";  // a link still, for the keyboard, until it is made
  link.download = baseName(tape.name) + ".wav";
  buttons();
  update();
}
function prepareDownload() {
  const link = $("download-wav");
  if (!player.tape || link.dataset.made) return;
  link.href = URL.createObjectURL(new Blob([core.convert(player.tape.bytes)], { type: "audio/wav" }));
  link.dataset.made = "yes";
}

function audio() {
  if (!player.context) {
    player.context = new (window.AudioContext || window.webkitAudioContext)({ sampleRate: SAMPLE_RATE });
    player.gain = player.context.createGain();
    player.gain.gain.value = Number($("volume").value);
    player.gain.connect(player.context.destination);
  }
  return player.context;
}

// Queues the next pieces of the tape's sound, each starting exactly where
// the one before ends in the audio's timeline.
function feed() {
  const context = player.context;
  while (player.playing && player.nextSample < player.total &&
         player.nextTime < context.currentTime + PIECES_AHEAD * PIECE / SAMPLE_RATE) {
    const count = Math.min(PIECE, player.total - player.nextSample);
    const bytes = core.samples(player.tape.bytes, player.nextSample, count);
    const buffer = context.createBuffer(1, count, SAMPLE_RATE);
    const data = buffer.getChannelData(0);
    for (let i = 0; i < count; ++i) data[i] = (bytes[i] - SILENCE_LEVEL) / SILENCE_LEVEL;
    const source = context.createBufferSource();
    source.buffer = buffer;
    source.connect(player.gain);
    source.start(player.nextTime);
    source.onended = () => { player.sources = player.sources.filter((s) => s !== source); };
    player.sources.push(source);
    player.nextSample += count;
    player.nextTime += count / SAMPLE_RATE;
  }
}

async function keepAwake(on) {
  try {
    if (on && !player.wakeLock && navigator.wakeLock) player.wakeLock = await navigator.wakeLock.request("screen");
    if (!on && player.wakeLock) { await player.wakeLock.release(); player.wakeLock = null; }
  } catch (e) { player.wakeLock = null; }  // not allowed here: the sound still plays
}

function play() {
  if (!player.tape || player.playing) return;
  const context = audio();
  context.resume();
  if (player.offset >= player.duration()) player.offset = 0;
  player.nextSample = Math.floor(player.offset * SAMPLE_RATE);
  player.nextTime = context.currentTime + START_LEAD;
  player.startedAt = player.nextTime - player.offset;
  player.playing = true;
  feed();
  keepAwake(true);
  buttons();
  clearInterval(player.ticker);
  player.ticker = setInterval(update, PROGRESS_INTERVAL);
  // The clock is the audio's own: if it does not move (no output, a
  // browser that wants a tap first), say so rather than stand still.
  const clockAtStart = context.currentTime;
  setTimeout(() => {
    if (player.playing && (context.state !== "running" || context.currentTime === clockAtStart)) $("no-sound").hidden = false;
  }, SOUND_START_WAIT);
}

function halt() {
  for (const source of player.sources) { source.onended = null; source.stop(); }
  player.sources = [];
  player.playing = false;
  clearInterval(player.ticker);
  $("no-sound").hidden = true;
}
function pause() {
  if (!player.playing) return;
  player.offset = player.position();
  halt();
  keepAwake(false);
  buttons();
  update();
}
function stop() {
  halt();
  player.offset = 0;
  keepAwake(false);
  buttons();
  update();
}
function ended() { clearInterval(player.ticker); keepAwake(false); buttons(); update(); }

player.seekToFile = function (index) {
  const first = player.layout.find((s) => s[4] === index);
  if (!first) return;
  const wasPlaying = player.playing;
  halt();
  player.offset = first[1] / SAMPLE_RATE;
  if (wasPlaying) play(); else { buttons(); update(); }
};

function buttons() {
  $("play").disabled = !player.tape || player.playing;
  $("pause").disabled = !player.playing;
  $("stop").disabled = !player.playing && player.offset === 0;
}

function currentFile(sample) {
  const segment = player.layout.find((s) => sample >= s[1] && sample < s[1] + s[2]);
  const index = segment ? segment[4] : -1;
  const file = index >= 0 ? player.tape.listing.files[index] : null;
  return file ? file.name : "";
}

function update() {
  if (!player.tape) return;
  if (player.playing) {
    feed();
    if (player.position() >= player.duration()) { halt(); player.offset = 0; ended(); return; }
  }
  // The sound has started after all: its clock moves.
  if (player.playing && player.position() > 0) $("no-sound").hidden = true;
  const total = player.duration();
  const at = Math.min(player.position(), total);
  $("elapsed").textContent = clock(at);
  $("progress-bar").style.width = (total > 0 ? 100 * at / total : 0) + "%";
  $("current-file").textContent = currentFile(Math.floor(at * SAMPLE_RATE));
  draw(at / total);
}

// The tape drawn from start to end: leaders light, blocks dark, headers
// red with their file's name, gaps left blank; the playhead over it.
function draw(fraction) {
  const canvas = $("timeline");
  const scale = window.devicePixelRatio || 1;
  const width = canvas.clientWidth, height = canvas.clientHeight;
  if (canvas.width !== Math.round(width * scale)) { canvas.width = Math.round(width * scale); canvas.height = Math.round(height * scale); }
  const g = canvas.getContext("2d");
  g.setTransform(scale, 0, 0, scale, 0, 0);
  g.clearRect(0, 0, width, height);
  const total = player.total;
  const band = { top: height * 0.45, height: height * 0.4 };
  for (const [kind, start, length, type, file] of player.layout) {
    if (kind !== LEADER && kind !== BLOCK) continue;
    const x = start / total * width, w = Math.max(1, length / total * width);
    g.fillStyle = kind === LEADER ? "#d9c7a3" : type === 0 ? "#b8322a" : "#8a5a2b";
    g.fillRect(x, band.top, w, band.height);
  }
  g.fillStyle = "#1d2330";
  g.font = "13px system-ui, sans-serif";
  let lastLabelEnd = -1;
  for (const [kind, start, , type, file] of player.layout) {
    if (kind !== BLOCK || type !== 0 || !player.tape.listing.files[file]) continue;
    const x = start / total * width;
    if (x < lastLabelEnd) continue;
    const label = player.tape.listing.files[file].name.trim();
    g.fillText(label, Math.min(x, width - g.measureText(label).width), band.top - 8);
    lastLabelEnd = x + g.measureText(label).width + 8;
  }
  const head = Math.round(fraction * width);
  canvas.dataset.playhead = head;
  g.fillStyle = "#21606e";
  g.fillRect(head - 1, 4, 3, height - 8);
}

// Where the player is, for scripts: playing or not, seconds played and in all.
export const playback = () => ({ playing: player.playing, position: player.position(), duration: player.duration(),
  state: player.context ? player.context.state : "none", queued: player.sources.length });

// The player's buttons, link, volume and picture answer the user.
export function wirePlayer() {
  $("play").addEventListener("click", play);
  for (const event of ["focus", "pointerdown", "click"]) $("download-wav").addEventListener(event, prepareDownload);
  // Inside the tap itself, as iOS and every browser's start rules want it.
  $("sound-on").addEventListener("click", () => { if (player.context) player.context.resume(); });
  $("pause").addEventListener("click", pause);
  $("stop").addEventListener("click", stop);
  $("volume").addEventListener("input", (e) => { if (player.gain) player.gain.gain.value = Number(e.target.value); });
  $("timeline").addEventListener("click", (e) => {
    // A tap on the tape goes to the start of the file there.
    if (!player.tape) return;
    const rect = e.currentTarget.getBoundingClientRect();
    const sample = (e.clientX - rect.left) / rect.width * player.total;
    const segment = player.layout.find((s) => sample >= s[1] && sample < s[1] + s[2]);
    if (segment && segment[4] >= 0) player.seekToFile(segment[4]);
  });
  document.addEventListener("visibilitychange", () => { if (document.visibilityState === "visible" && player.playing) keepAwake(true); });
  window.addEventListener("resize", update);
}
