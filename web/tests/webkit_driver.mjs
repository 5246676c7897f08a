// WebKit (WebKitGTK's MiniBrowser, the engine of Safari) driven through
// WebKitWebDriver by selenium-webdriver, behind the few calls of
// puppeteer's that the page's tests make, so that the same tests run in it.
// WebDriver classic cannot run a script before a page's own, nor listen to
// its requests and errors: the tests that need those say so and skip.
import { spawn } from "node:child_process";
import net from "node:net";
import { Builder, By } from "selenium-webdriver";

const MINIBROWSER = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser";
const POLL = 50;  // milliseconds between two looks while waiting

function free_port() {
  return new Promise((resolve) => {
    const server = net.createServer().listen(0, "127.0.0.1", () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

// A function of the tests, run in the page with its arguments; what it
// returns (or resolves to) comes back.
function script_of(fn) {
  return "const done = arguments[arguments.length - 1];" +
    "const args = Array.prototype.slice.call(arguments, 0, -1);" +
    "Promise.resolve().then(() => (" + fn.toString() + ")(...args))" +
    ".then((v) => done({ value: v === undefined ? null : v }), (e) => done({ error: String(e) }));";
}

class WebKitPage {
  constructor(driver) {
    this.driver = driver;
    this.problems = [];
    this.language = null;
  }
  on() { /* requests and page errors are not seen through WebDriver classic */ }
  async evaluateOnNewDocument() { throw new Error("WebDriver classic runs no script before the page's own"); }
  async goto(url) {
    await this.driver.get(url);
    if (this.language) {
      // The closest to a preferred language: the page's own remembered choice.
      await this.evaluate((l) => localStorage.setItem("morlevix.language", l), this.language);
      await this.driver.navigate().refresh();
    }
  }
  async reload() { await this.driver.navigate().refresh(); }
  async evaluate(fn, ...args) {
    const result = await this.driver.executeAsyncScript(script_of(fn), ...args);
    if (result && result.error !== undefined) throw new Error(result.error);
    return result ? result.value : null;
  }
  $eval(selector, fn) {
    return this.evaluate(new Function("selector", "return (" + fn.toString() + ")(document.querySelector(selector));"), selector);
  }
  $$eval(selector, fn) {
    return this.evaluate(new Function("selector",
      "return (" + fn.toString() + ")(Array.from(document.querySelectorAll(selector)));"), selector);
  }
  async $(selector) {
    const element = await this.driver.findElement(By.css(selector));
    // Several files at once: WebDriver takes them one per line.
    return { uploadFile: (...files) => element.sendKeys(files.join("\n")) };
  }
  async click(selector) { await (await this.driver.findElement(By.css(selector))).click(); }
  async waitForFunction(fn, { timeout = 30000 } = {}) {
    const until = Date.now() + timeout;
    for (;;) {
      if (await this.evaluate(fn)) return;
      if (Date.now() > until) throw new Error("Waiting failed: " + timeout + "ms exceeded");
      await new Promise((r) => setTimeout(r, POLL));
    }
  }
  waitForSelector(selector, options) {
    return this.waitForFunction(new Function("return document.querySelector(" + JSON.stringify(selector) + ") !== null;"), options);
  }
  async setViewport({ width, height }) { await this.driver.manage().window().setRect({ width, height }); }
  async screenshot({ path: file }) {
    const { writeFileSync } = await import("node:fs");
    writeFileSync(file, Buffer.from(await this.driver.takeScreenshot(), "base64"));
  }
  async close() { /* the one window stays for the next page */ }
}

class WebKitBrowser {
  constructor(server, driver) {
    this.server = server;
    this.driver = driver;
  }
  async newPage() { return new WebKitPage(this.driver); }
  async close() {
    try { await this.driver.quit(); } finally { this.server.kill(); }
  }
}

export async function launch_webkit() {
  const port = await free_port();
  const server = spawn("WebKitWebDriver", ["--port=" + port], { stdio: "ignore" });
  const url = "http://127.0.0.1:" + port;
  for (let i = 0; i < 100; ++i) {  // until it listens
    const up = await fetch(url + "/status").then(() => true, () => false);
    if (up) break;
    await new Promise((r) => setTimeout(r, 100));
  }
  const driver = await new Builder().usingServer(url).withCapabilities({
    browserName: "MiniBrowser",
    "webkitgtk:browserOptions": { binary: process.env.MINIBROWSER || MINIBROWSER, args: ["--automation"] },
  }).build();
  await driver.manage().setTimeouts({ script: 120000 });
  return new WebKitBrowser(server, driver);
}
