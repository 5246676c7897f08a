// Reading a cassette through the sound input: the recording decoded as it
// comes in, the files found shown as they come, and the image at the end.
/* global Module, morlevixReady */
import { core, split, take } from "./core.js";
import { $, clock, downloadLink, element } from "./helpers.js";
import { recordingMap } from "./map.js";
import { said, t } from "./texts.js";

const RECORD_REPORT_INTERVAL = 500;  // milliseconds between updates while recording
const recorder = { stream: null, context: null, node: null, listener: 0, timer: 0, started: 0 };

function showReport(report) {
  $("record-files").replaceChildren(...report.files.map((f) => element("li", { textContent: f.name + (f.whole ? "" : " : " + t("incomplete")) })));
  $("record-map").replaceChildren(recordingMap(report));
  $("record-problems").replaceChildren(...report.problems.map((p) => element("li", { textContent: said(p.text) })),
    ...report.notes.map((n) => element("li", { className: "note", textContent: said(n.text) })));
}

function listenerReport(finish) {
  return split(take(Module._morlevix_listener_report(recorder.listener, finish ? 1 : 0)));
}

async function startRecording() {
  await morlevixReady;
  try {
    recorder.stream = await navigator.mediaDevices.getUserMedia({ audio: {
      echoCancellation: false, noiseSuppression: false, autoGainControl: false, channelCount: 1 } });
  } catch (e) {
    $("record-status").textContent = t("noInput") + e.message;
    return;
  }
  recorder.context = new (window.AudioContext || window.webkitAudioContext)();
  recorder.listener = Module._morlevix_listener_new(recorder.context.sampleRate);
  const input = recorder.context.createMediaStreamSource(recorder.stream);
  recorder.node = recorder.context.createScriptProcessor(4096, 1, 1);
  recorder.node.onaudioprocess = (event) => {
    const samples = event.inputBuffer.getChannelData(0);
    const at = Module._morlevix_alloc(samples.length * 4);
    Module.HEAPF32.set(samples, at >> 2);
    Module._morlevix_listener_feed(recorder.listener, at, samples.length);
    Module._morlevix_free(at);
  };
  const mute = recorder.context.createGain();
  mute.gain.value = 0;
  input.connect(recorder.node);
  recorder.node.connect(mute);
  mute.connect(recorder.context.destination);
  recorder.started = Date.now();
  recorder.timer = setInterval(() => {
    $("record-status").textContent = t("listening") + clock((Date.now() - recorder.started) / 1000);
    showReport(listenerReport(false).report);
  }, RECORD_REPORT_INTERVAL);
  $("record").disabled = true;
  $("record-stop").disabled = false;
  $("download-k7").hidden = true;
}

function stopRecording() {
  if (!recorder.listener) return;
  clearInterval(recorder.timer);
  recorder.node.disconnect();
  recorder.stream.getTracks().forEach((t) => t.stop());
  recorder.context.close();
  const result = listenerReport(true);
  Module._morlevix_listener_release(recorder.listener);
  recorder.listener = 0;
  showReport(result.report);
  $("record-status").textContent = result.report.blocks.length + t("blocksHeard");
  if (result.report.blocks.length > 0) downloadLink($("download-k7"), result.image, "application/octet-stream", "cassette.k7");
  else $("record-status").textContent = t("noBlockHeard");
  core.lastRecording = result;  // for scripts
  $("record").disabled = false;
  $("record-stop").disabled = true;
}

// The buttons that start and stop a recording.
export function wireRecorder() {
  $("record").addEventListener("click", startRecording);
  $("record-stop").addEventListener("click", stopRecording);
}
