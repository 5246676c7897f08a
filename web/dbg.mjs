import puppeteer from "puppeteer-core";
import { pathToFileURL } from "node:url";
const b = await puppeteer.launch({ browser: "firefox", executablePath: "/usr/bin/firefox-esr", headless: true,
  extraPrefsFirefox: { "media.autoplay.default": 0, "media.autoplay.blocking_policy": 0 } });
console.log("version", await b.version());
const p = await b.newPage();
p.on("pageerror", e => console.log("pageerror", e.message));
await p.goto(pathToFileURL("/work/main/build-web/morlevix.html").href);
await p.evaluate(() => window.morlevix.ready);
console.log("status", await p.$eval("#status", e => e.textContent));
await (await p.$("#tapes")).uploadFile("/work/main/examples/DEMO.K7");
await p.waitForSelector("#player:not([hidden])");
await p.click("#play");
for (let i = 0; i < 3; ++i) { await new Promise(r => setTimeout(r, 600)); console.log(await p.evaluate(() => JSON.stringify(window.morlevix.playback()) + " nosound-hidden=" + document.getElementById("no-sound").hidden + " " + document.getElementById("elapsed").textContent)); }
await b.close();
