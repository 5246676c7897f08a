// Recordings that the tape core does not read itself (MP3, AAC from a
// phone, Ogg, Opus, FLAC...): the browser's own decoder turns them into
// samples, which go to the tape core as a 16-bit WAV at the rate the
// browser gives them, to be read as any WAV is.

const DECODING_RATE = 44100;  // the browser resamples to its context's rate
const WAV_HEADER_BYTES = 44;
const BYTES_PER_SAMPLE = 2;
const FULL_SCALE = 32767;
const MOST_CHANNELS = 2;  // a recording of a tape: mono, or the two sides of a stereo deck

// The samples of an AudioBuffer as a PCM WAV file.
function wavOf(buffer) {
  const channels = Math.min(buffer.numberOfChannels, MOST_CHANNELS);
  const frames = buffer.length;
  const dataBytes = frames * channels * BYTES_PER_SAMPLE;
  const bytes = new ArrayBuffer(WAV_HEADER_BYTES + dataBytes);
  const view = new DataView(bytes);
  const tag = (at, text) => { for (let i = 0; i < 4; i++) view.setUint8(at + i, text.charCodeAt(i)); };
  tag(0, "RIFF");
  view.setUint32(4, WAV_HEADER_BYTES - 8 + dataBytes, true);
  tag(8, "WAVE");
  tag(12, "fmt ");
  view.setUint32(16, 16, true);  // the format chunk's size
  view.setUint16(20, 1, true);   // integer PCM
  view.setUint16(22, channels, true);
  view.setUint32(24, buffer.sampleRate, true);
  view.setUint32(28, buffer.sampleRate * channels * BYTES_PER_SAMPLE, true);
  view.setUint16(32, channels * BYTES_PER_SAMPLE, true);
  view.setUint16(34, BYTES_PER_SAMPLE * 8, true);
  tag(36, "data");
  view.setUint32(40, dataBytes, true);
  const samples = new Int16Array(bytes, WAV_HEADER_BYTES);
  for (let c = 0; c < channels; c++) {
    const channel = buffer.getChannelData(c);
    for (let f = 0; f < frames; f++)
      samples[f * channels + c] = Math.round(Math.max(-1, Math.min(1, channel[f])) * FULL_SCALE);
  }
  return new Uint8Array(bytes);
}

// The recording `bytes` as a WAV, or null when the browser cannot decode it.
export async function decodeInBrowser(bytes) {
  const Offline = window.OfflineAudioContext || window.webkitOfflineAudioContext;
  if (!Offline) return null;
  const context = new Offline(1, 1, DECODING_RATE);
  const copy = bytes.slice().buffer;  // decodeAudioData takes the buffer over
  try {
    // The callbacks, for engines whose decodeAudioData returns no promise.
    const buffer = await new Promise((resolve, reject) => {
      const promise = context.decodeAudioData(copy, resolve, reject);
      if (promise && promise.then) promise.then(resolve, reject);
    });
    return buffer && buffer.length > 0 ? wavOf(buffer) : null;
  } catch (e) {
    return null;
  }
}
