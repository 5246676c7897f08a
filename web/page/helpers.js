// What every part of the page uses: its elements, times as a clock shows
// them, new elements, names of what is written, and download links.

export const $ = (id) => document.getElementById(id);

export function clock(seconds) {
  const s = Math.max(0, Math.floor(seconds));
  return Math.floor(s / 60) + ":" + String(s % 60).padStart(2, "0");
}

export function element(tag, properties, children) {
  const e = Object.assign(document.createElement(tag), properties || {});
  for (const c of children || []) e.append(c);
  return e;
}

// The file name cut at its first dot, as the program names what it writes.
export const baseName = (name) => name.split(".")[0] || "cassette";

export function downloadLink(link, bytes, type, name) {
  if (link.href) URL.revokeObjectURL(link.href);
  link.href = URL.createObjectURL(new Blob([bytes], { type: type }));
  link.download = name;
  link.hidden = false;
}
