import puppeteer from "puppeteer-core";
import { pathToFileURL } from "node:url";
const b = await puppeteer.launch({ browser: "firefox", executablePath: "/usr/bin/firefox-esr", headless: true, extraPrefsFirefox: { "media.autoplay.default": 0, "media.autoplay.blocking_policy": 0 } });
const p = await b.newPage();
p.on("pageerror", e => console.log("pageerror", e.message));
p.on("console", m => console.log("console", m.text()));
await p.goto(pathToFileURL("/work/main/build-web/morlevix.html").href);
await p.evaluate(() => window.morlevix.ready);
const dir = (await import("node:fs")).readdirSync("/tmp").filter(d => d.startsWith("morlevix-web-"));
await (await p.$("#tapes")).uploadFile("/work/main/examples/DEMO.K7");
await p.waitForSelector("#player:not([hidden])");
await p.click("#play");
for (let i = 0; i < 8; ++i) { await new Promise(r => setTimeout(r, 500)); console.log(await p.evaluate(() => JSON.stringify(window.morlevix.playback()))); }
await b.close();
