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

const INSTALLATION_ID = "installationId";
const INSTALLATION_ID_PATTERN = /^[0-9a-f]{16}$/;
let installationIdOnce = null;

async function loadOrCreateInstallationId() {
  const stored = (await chrome.storage.local.get(INSTALLATION_ID))[INSTALLATION_ID];
  if (INSTALLATION_ID_PATTERN.test(stored || ""))
    return stored;
  const bytes = crypto.getRandomValues(new Uint8Array(8));
  const created = Array.from(bytes, (byte) => byte.toString(16).padStart(2, "0")).join("");
  await chrome.storage.local.set({ [INSTALLATION_ID]: created });
  return created;
}

// Every browser and every profile numbers its downloads from 1, so the browser's id alone would
// make Rushlet take a download from a second browser for one it already has. A random identifier
// of this installation, kept for good, tells them apart; downloads that arrive together while
// it is being created share the one creation.
export function installationId() {
  installationIdOnce ??= loadOrCreateInstallationId().catch((error) => {
    installationIdOnce = null;
    throw error;
  });
  return installationIdOnce;
}

// The same download always gets the same id: a download the browser reports twice is taken once.
export async function downloadRequest(item) {
  return {
    type: "download",
    url: item.finalUrl || item.url,
    id: `${await installationId()}-${item.id}`,
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
