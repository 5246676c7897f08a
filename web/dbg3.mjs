import puppeteer from "puppeteer-core";
import { pathToFileURL } from "node:url";
const b = await puppeteer.launch({ executablePath: "/usr/bin/chromium", headless: true, args: ["--no-sandbox","--disable-gpu","--disable-quic","--no-first-run","--disable-background-networking","--disable-component-update","--disable-sync","--autoplay-policy=no-user-gesture-required"] });
const p = await b.newPage();
await p.goto(pathToFileURL("/work/main/build-web/morlevix.html").href);
await p.evaluate(() => window.morlevix.ready);
await (await p.$("#tapes")).uploadFile("/work/main/examples/DEMO.K7");
await p.waitForSelector("#player:not([hidden])");
await p.click("#play");
const t0 = Date.now();
for (let i = 0; i < 16; ++i) { await new Promise(r => setTimeout(r, 250)); console.log(Date.now() - t0, await p.evaluate(() => JSON.stringify(window.morlevix.playback()) + " " + document.getElementById("elapsed").textContent)); }
await b.close();
