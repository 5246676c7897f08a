// Writes the site folder to put on any static HTTPS host: index.html (the
// page, with its manifest and icons named in its head), the web app
// manifest, the icons, drawn here, and the service worker that keeps it all
// for use offline.
//   node make_site.mjs PAGE SITE_DIR
import crypto from "node:crypto";
import fs from "node:fs";
import path from "node:path";
import { fileURLToPath } from "node:url";
import zlib from "node:zlib";

const [page_file, site] = process.argv.slice(2);
const here = path.dirname(fileURLToPath(import.meta.url));
fs.rmSync(site, { recursive: true, force: true });  // nothing left of an earlier build
fs.mkdirSync(site, { recursive: true });

const page = fs.readFileSync(page_file, "utf8");
const head = '<link rel="manifest" href="manifest.webmanifest">\n' +
  '<link rel="apple-touch-icon" href="apple-touch-icon.png">\n<meta name="theme-color" content="#21606e">\n';
fs.writeFileSync(path.join(site, "index.html"), page.replace("</head>", head + "</head>"));
fs.copyFileSync(path.join(here, "site", "manifest.webmanifest"), path.join(site, "manifest.webmanifest"));
const hash = crypto.createHash("sha256").update(page).digest("hex").slice(0, 16);
fs.writeFileSync(path.join(site, "service-worker.js"),
  fs.readFileSync(path.join(here, "site", "service-worker.js"), "utf8").replace("@PAGE_HASH@", hash));

// The icon: a cassette, light on the page's blue; `margin` leaves the safe
// zone of a maskable icon free.
const INK = [0x1d, 0x23, 0x30], PAPER = [0xf6, 0xf3, 0xea], ACCENT = [0x21, 0x60, 0x6e], TAPE = [0x8a, 0x5a, 0x2b];
function cassette(size, margin) {
  const pixels = Buffer.alloc(size * size * 4);
  const inside = (x, y, left, top, right, bottom) => x >= left && x < right && y >= top && y < bottom;
  const m = margin * size, w = size - 2 * m;
  for (let y = 0; y < size; ++y) {
    for (let x = 0; x < size; ++x) {
      const u = (x - m) / w, v = (y - m) / w;  // 0 to 1 across the drawing
      let colour = ACCENT;
      if (inside(u, v, 0.1, 0.22, 0.9, 0.78)) colour = PAPER;                 // the shell
      if (inside(u, v, 0.22, 0.34, 0.78, 0.56)) colour = INK;                 // the window
      for (const cx of [0.36, 0.64]) {
        const r = Math.hypot(u - cx, v - 0.45);
        if (r < 0.08) colour = TAPE;                                          // the reels
        if (r < 0.035) colour = PAPER;
      }
      if (inside(u, v, 0.3, 0.64, 0.7, 0.78)) colour = TAPE;                  // the head opening
      pixels.set([...colour, 0xff], (y * size + x) * 4);
    }
  }
  return png(size, pixels);
}

// A PNG file: 8-bit RGBA, each row filtered with "none".
function png(size, rgba) {
  const crc_table = Array.from({ length: 256 }, (_, n) => {
    let c = n;
    for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    return c >>> 0;
  });
  const crc = (bytes) => { let c = 0xffffffff; for (const b of bytes) c = crc_table[(c ^ b) & 0xff] ^ (c >>> 8); return (c ^ 0xffffffff) >>> 0; };
  const chunk = (type, data) => {
    const length = Buffer.alloc(4); length.writeUInt32BE(data.length);
    const body = Buffer.concat([Buffer.from(type, "ascii"), data]);
    const sum = Buffer.alloc(4); sum.writeUInt32BE(crc(body));
    return Buffer.concat([length, body, sum]);
  };
  const header = Buffer.alloc(13);
  header.writeUInt32BE(size, 0); header.writeUInt32BE(size, 4);
  header[8] = 8; header[9] = 6;  // 8 bits, RGBA
  const rows = Buffer.alloc(size * (size * 4 + 1));
  for (let y = 0; y < size; ++y) rgba.copy(rows, y * (size * 4 + 1) + 1, y * size * 4, (y + 1) * size * 4);
  return Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]), chunk("IHDR", header),
    chunk("IDAT", zlib.deflateSync(rows)), chunk("IEND", Buffer.alloc(0))]);
}

for (const [name, size, margin] of [["icon-192.png", 192, 0], ["icon-512.png", 512, 0],
                                    ["icon-maskable-512.png", 512, 0.1], ["apple-touch-icon.png", 180, 0.04]])
  fs.writeFileSync(path.join(site, name), cassette(size, margin));
console.log("site in " + site);
