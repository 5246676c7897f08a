// The bridge to the tape core: its C functions over bytes copied into the
// WebAssembly memory, as the calls the page makes and the page's script
// interface, window.morlevix.
/* global Module, morlevixReady */

const SEMIGRAPHIC = "\u2592";  // how a byte of 0x80 and above shows in a listing

// `use(address)` with the bytes copied into the WebAssembly memory.
function withBytes(bytes, use) {
  const input = Module._morlevix_alloc(bytes.length);
  Module.HEAPU8.set(bytes, input);
  try { return use(input); } finally { Module._morlevix_free(input); }
}
// A result the core made: its bytes, copied out, and the result released.
export function take(result) {
  const data = Module._morlevix_result_data(result);
  const size = Module._morlevix_result_size(result);
  const bytes = Module.HEAPU8.slice(data, data + size);
  Module._morlevix_result_release(result);
  return bytes;
}
function call(name, bytes, extra) {
  return take(withBytes(bytes, (input) => Module["_morlevix_" + name](input, bytes.length, extra)));
}
const text = (bytes) => new TextDecoder().decode(bytes);
// A report in JSON (as `morlevix --json` writes one tape's, each text in
// both languages), a NUL, then an image.
export function split(bytes) {
  const nul = bytes.indexOf(0);
  return { report: JSON.parse(text(bytes.subarray(0, nul))), image: bytes.slice(nul + 1) };
}

export const core = {
  ready: morlevixReady,
  convert: (bytes) => call("convert", bytes),
  // Samples `first` to `first + count` of the tape's WAV, as they are there.
  samples: (bytes, first, count) =>
    take(withBytes(bytes, (input) => Module._morlevix_samples(input, bytes.length, first, count))),
  sampleCount: (bytes) => withBytes(bytes, (input) => Module._morlevix_sample_count(input, bytes.length)),
  list: (bytes) => JSON.parse(text(call("list", bytes))),
  layout: (bytes) => JSON.parse(text(call("layout", bytes))),
  decode: (bytes) => split(call("decode", bytes)),
  // What the file's first bytes say: "image" (or nothing known), "wav",
  // or "audio" (a recording in another format, for the browser to decode).
  kind: (bytes) => ["image", "wav", "audio"][withBytes(bytes, (input) => Module._morlevix_file_kind(input, bytes.length))],
  // A file, whichever it is: {report, image}, the report of `morlevix
  // list` for a tape image (its kind "image"), of `morlevix decode` for a
  // recording (its kind "recording", with the image heard).
  open: (bytes) => split(call("open", bytes)),
  // Several takes ([{name, bytes}]) of one tape merged into the image
  // named `imageName`, as morlevix decode --merge does.
  merge: (takes, imageName) => {
    const all = new Uint8Array(takes.reduce((n, one) => n + one.bytes.length, 0));
    let at = 0;
    for (const one of takes) { all.set(one.bytes, at); at += one.bytes.length; }
    const sizes = new Uint8Array(new Uint32Array(takes.map((one) => one.bytes.length)).buffer);
    const encoder = new TextEncoder();
    const names = encoder.encode(takes.map((one) => one.name + "\0").join(""));
    const image = encoder.encode(imageName + "\0");
    return split(take(withBytes(all, (a) => withBytes(sizes, (s) => withBytes(names, (n) => withBytes(image, (i) =>
      Module._morlevix_merge(a, s, n, takes.length, i)))))));
  },
  // The BASIC program of file `index` of an image: {text, problems}, or null.
  basic: (bytes, index) => {
    const r = split(call("basic", bytes, index));
    if (!r.report.basic) return null;
    let listing = "";
    for (const b of r.image) listing += b < 0x80 ? String.fromCharCode(b) : SEMIGRAPHIC;
    return { text: listing, bytes: r.image, problems: r.report.problems };
  },
};
