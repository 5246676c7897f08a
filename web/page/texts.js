// The page's own words, each written once with its French and its English
// side by side. The lines that the page shares with morlevix list and
// decode keep the program's wording, and come from the tape core in both
// languages.
export const LANGUAGES = ["fr", "en"];

export const TEXTS = {
  tagline: {
    fr: "Cassettes Alice : une image .k7 jouée droit dans la machine, et une cassette lue en image .k7.",
    en: "Alice cassettes: a .k7 image played straight into the machine, and a cassette read into a .k7 image.",
  },
  tapes: { fr: "Cassettes", en: "Tapes" },
  choose: { fr: "Choisir des fichiers", en: "Choose files" },
  tapesHint: {
    fr: "Images .k7 (ou du même format sous un autre nom), ou enregistrements d’une cassette : WAV, MP3, M4A, Ogg, Opus, FLAC, tout ce que le navigateur décode. Vous pouvez aussi les déposer sur la page ; plusieurs prises d’une cassette données ensemble se fusionnent.",
    en: "Tape images (.k7, or the same format under another name), or recordings of a cassette: WAV, MP3, M4A, Ogg, Opus, FLAC, whatever the browser decodes. You can also drop them on the page; several takes of one tape given together can be merged.",
  },
  loading: { fr: "Chargement…", en: "Loading…" },
  ready: { fr: "Prêt.", en: "Ready." },
  timeline: { fr: "La cassette : amorces, blocs et silences", en: "The tape: leaders, blocks and silences" },
  play: { fr: "Lecture", en: "Play" },
  pause: { fr: "Pause", en: "Pause" },
  stop: { fr: "Stop", en: "Stop" },
  volume: { fr: "Volume", en: "Volume" },
  noSound: {
    fr: "Le son ne démarre pas : le navigateur attend un geste, ou aucune sortie son n’est branchée.",
    en: "The sound does not start: the browser waits for a tap, or no sound output is connected.",
  },
  soundOn: { fr: "Activer le son", en: "Turn the sound on" },
  cable: {
    fr: "Sortie casque → entrée cassette, CLOAD, puis Lecture. Volume au maximum.",
    en: "Headphone out → cassette in, CLOAD, then Play. Volume at full.",
  },
  downloadWav: { fr: "Télécharger le .wav", en: "Download the .wav" },
  downloadK7: { fr: "Télécharger le .k7", en: "Download the .k7" },
  readTape: { fr: "Lire une cassette", en: "Read a cassette" },
  recordHint: {
    fr: "Sortie du magnétophone → entrée ligne (ou micro), puis Enregistrer et lancez la cassette.",
    en: "Tape deck out → line (or mic) in, then Record and start the tape.",
  },
  record: { fr: "Enregistrer", en: "Record" },
  recordStop: { fr: "Arrêter", en: "Stop" },
  name: { fr: "Nom", en: "Name" },
  type: { fr: "Type", en: "Type" },
  blocks: { fr: "Blocs", en: "Blocks" },
  bytes: { fr: "Octets", en: "Bytes" },
  end: { fr: "Fin", en: "End" },
  yes: { fr: "oui", en: "yes" },
  no: { fr: "non", en: "no" },
  noName: { fr: "(sans nom)", en: "(no name)" },
  goToFile: { fr: "Aller au début de ce fichier", en: "Go to the start of this file" },
  basicTitle: { fr: "Le programme, comme la machine le liste", en: "The program, as the machine lists it" },
  nothingWrong: { fr: "Rien à signaler.", en: "Nothing wrong." },
  noFile: { fr: "Aucun fichier sur cette cassette.", en: "No file on this tape." },
  asList: { fr: "Comme morlevix list", en: "As morlevix list shows it" },
  listen: { fr: "Écouter", en: "Listen" },
  recording: { fr: " (enregistrement)", en: " (recording)" },
  noInput: { fr: "Pas d’accès à l’entrée son : ", en: "No access to the sound input: " },
  listening: { fr: "Écoute… ", en: "Listening… " },
  blocksHeard: { fr: " blocs entendus.", en: " blocks heard." },
  noBlockHeard: { fr: "Aucun bloc entendu dans l’enregistrement.", en: "No block heard in the recording." },
  fetching: { fr: "Chargement de ", en: "Loading " },
  fetchFailed: { fr: "Impossible de charger ", en: "Cannot load " },
  unreachable: {
    fr: " : pas de réponse du réseau ou du serveur, ou il refuse les pages d’ailleurs (CORS).",
    en: ": no answer from the network or the server, or it refuses other sites’ pages (CORS).",
  },
  serverSays: { fr: " : le serveur répond ", en: ": the server answers " },
  notATape: {
    fr: " : ce n’est ni une image .k7 ni un enregistrement .wav.",
    en: ": this is neither a .k7 image nor a .wav recording.",
  },
  takesTitle: { fr: "Plusieurs prises d’une même cassette ?", en: "Several takes of one tape?" },
  takesHint: {
    fr: "Fusionner lit chaque prise et en fait une seule image : pour chaque bloc, une copie entendue juste dans l’une d’elles.",
    en: "Merge reads every take and makes one image of them: for each block, a copy that one of them heard sound.",
  },
  merge: { fr: "Fusionner", en: "Merge" },
  merged: { fr: " (fusion)", en: " (merged)" },
  otherLanguage: { fr: "English", en: "Français" },
  mapLabel: {
    fr: "L’enregistrement : chaque bloc là où il a été entendu, et ce qui manque",
    en: "The recording: each block where it was heard, and what is missing",
  },
  mapHint: { fr: "Touchez un bloc pour voir comment il a été entendu.", en: "Tap a block to see how it was heard." },
  legendSound: { fr: "juste", en: "sound" },
  legendWeak: { fr: "juste de peu", en: "sound, by little" },
  legendWrong: { fr: "faux ou coupé", en: "wrong or broken off" },
  legendLost: { fr: "perdu, ou signal non lu", en: "lost, or signal not read" },
  blockAt: { fr: "Bloc", en: "Block" },
  at: { fr: "à", en: "at" },
  to: { fr: "à", en: "to" },
  kind_sound: { fr: "juste", en: "sound" },
  kind_weak: { fr: "juste de peu", en: "sound, by little" },
  kind_wrong: { fr: "somme de contrôle fausse", en: "wrong checksum" },
  kind_broken: { fr: "signal interrompu", en: "broken off" },
  speed: { fr: "vitesse", en: "speed" },
  level: { fr: "niveau", en: "level" },
  margin: { fr: "marge", en: "margin" },
  lostFrom: { fr: "De", en: "From" },
  lostOne: { fr: "un bloc perdu", en: "one block lost" },
  lostBlocks: { fr: "blocs perdus", en: "blocks lost" },
  unreadFrom: { fr: "Signal de cassette sans bloc lu, de", en: "Tape signal, no block read, from" },
  incomplete: { fr: "incomplet", en: "incomplete" },
  cannotDecode: {
    fr: "Ni une image .k7, ni un enregistrement que ce navigateur sait décoder.",
    en: "Neither a .k7 image nor a recording this browser can decode.",
  },
  listNoFile: { fr: "  aucun fichier", en: "  no file" },
  noBlockInRecording: { fr: "aucun bloc entendu dans l'enregistrement", en: "no block heard in the recording" },
};

const LANGUAGE_KEY = "morlevix.language";

// The language kept from an earlier visit, else the first the browser
// prefers that the page speaks, else French.
function chosenLanguage() {
  let kept = null;
  try { kept = localStorage.getItem(LANGUAGE_KEY); } catch (e) { /* storage closed to this page */ }
  if (LANGUAGES.includes(kept)) return kept;
  for (const wanted of navigator.languages || [navigator.language || ""]) {
    const code = String(wanted).slice(0, 2).toLowerCase();
    if (LANGUAGES.includes(code)) return code;
  }
  return "fr";
}

let language = null;

// The language the page speaks now.
export function currentLanguage() {
  if (language === null) language = chosenLanguage();
  return language;
}

// Speaks the other language from now on, and keeps the choice.
export function switchLanguage() {
  language = currentLanguage() === "fr" ? "en" : "fr";
  try { localStorage.setItem(LANGUAGE_KEY, language); } catch (e) { /* not kept: storage closed to this page */ }
}

// A text in the language the page speaks.
export const t = (key) => TEXTS[key][currentLanguage()];

// A text of the tape core, which comes in both languages ({fr, en}), in
// the language the page speaks.
export const said = (text) => (typeof text === "string" ? text : text[currentLanguage()]);
