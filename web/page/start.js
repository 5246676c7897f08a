// The page starts: every part wired, the page's words in its language, the
// script interface window.morlevix, the service worker where the page is
// served as a site, and a linked tape once the tape core is ready.
/* global morlevixReady */
import { core } from "./core.js";
import { $ } from "./helpers.js";
import { playback, wirePlayer } from "./player.js";
import { wireRecorder } from "./recorder.js";
import { openLink, showAgain, wireTapes } from "./tapes.js";
import { currentLanguage, switchLanguage, t } from "./texts.js";

window.morlevix = Object.assign(core, { playback });

function showLanguage() {
  const language = currentLanguage();
  document.documentElement.lang = language;
  for (const e of document.querySelectorAll("[data-text]")) e.textContent = t(e.dataset.text);
  for (const e of document.querySelectorAll("[data-label]")) e.setAttribute("aria-label", t(e.dataset.label));
  $("language").textContent = t("otherLanguage");
  $("language").lang = language === "fr" ? "en" : "fr";
  showAgain();
}

wireTapes();
wirePlayer();
wireRecorder();
$("language").addEventListener("click", () => {
  switchLanguage();
  showLanguage();
});
$("status").dataset.text = "loading";
showLanguage();
// Served as the site (index.html beside its manifest): kept for use
// offline by the service worker. Opened from disk, the page needs none.
if ("serviceWorker" in navigator && location.protocol !== "file:" && document.querySelector('link[rel="manifest"]'))
  navigator.serviceWorker.register("service-worker.js").catch(() => { /* the page works without it */ });
morlevixReady.then(() => {
  $("status").dataset.text = "ready";
  $("status").textContent = t("ready");
  openLink();
});
