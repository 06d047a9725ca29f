// What the service worker and the popup share: the native host, the stored switch and the
// messages Rushlet understands.

export const HOST = "com.rushlet.downloader";

const SEND_DOWNLOADS = "sendDownloads";

// Sending is on until the user turns it off; the switch lives in storage because the service
// worker's globals vanish whenever the browser stops the worker.
export async function sendingEnabled() {
  const stored = await chrome.storage.local.get({ [SEND_DOWNLOADS]: true });
  return stored[SEND_DOWNLOADS] !== false;
}

export function setSendingEnabled(enabled) {
  return chrome.storage.local.set({ [SEND_DOWNLOADS]: Boolean(enabled) });
}

// Only what Rushlet can fetch by itself: data:, blob: and file: downloads exist only inside the browser.
export function isWebUrl(url) {
  try {
    const { protocol } = new URL(url);
    return protocol === "http:" || protocol === "https:";
  } catch {
    return false;
  }
}

export function baseName(path) {
  return (path || "").split(/[\\/]/).pop();
}

export function downloadRequest(item) {
  return {
    type: "download",
    url: item.finalUrl || item.url,
    id: String(item.id),
    filename: baseName(item.filename),
  };
}

// Resolves to Rushlet's reply, or to {ok:false,error} when the host is missing, refuses the
// extension or ends without answering; never rejects.
export async function askRushlet(message) {
  try {
    const reply = await chrome.runtime.sendNativeMessage(HOST, message);
    if (reply && typeof reply === "object")
      return reply;
    return { ok: false, error: "Rushlet sent no answer." };
  } catch (error) {
    return { ok: false, error: String((error && error.message) || error) };
  }
}
