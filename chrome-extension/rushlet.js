// What the service worker and the popup share: the native host, the stored switch, the identity
// of this installation, the downloads held for Rushlet, and the way Rushlet is asked.

import { api } from "./platform.js";

export const HOST = "com.rushlet.downloader";

const SEND_DOWNLOADS = "sendDownloads";
const HELD_DOWNLOADS = "heldDownloads";

// Sending is on until the user turns it off; the switch lives in storage because the service
// worker's globals vanish whenever the browser stops the worker.
export async function sendingEnabled() {
  const stored = await api.storage.local.get({ [SEND_DOWNLOADS]: true });
  return stored[SEND_DOWNLOADS] !== false;
}

export function setSendingEnabled(enabled) {
  return api.storage.local.set({ [SEND_DOWNLOADS]: Boolean(enabled) });
}

// The downloads the browser holds (paused, or running on) until Rushlet has them, by the browser's
// download id.
export async function heldDownloads() {
  const stored = await api.storage.local.get({ [HELD_DOWNLOADS]: {} });
  return stored[HELD_DOWNLOADS] || {};
}

export function storeHeldDownloads(held) {
  return api.storage.local.set({ [HELD_DOWNLOADS]: held });
}

export function onHeldDownloadsChanged(listener) {
  api.storage.onChanged.addListener((changes, area) => {
    if (area === "local" && HELD_DOWNLOADS in changes)
      listener(changes[HELD_DOWNLOADS].newValue || {});
  });
}

function randomHex(bytes) {
  return Array.from(crypto.getRandomValues(new Uint8Array(bytes)), (byte) => byte.toString(16).padStart(2, "0")).join("");
}

const INSTALLATION_ID = "installationId";
const INSTALLATION_ID_PATTERN = /^[0-9a-f]{16}$/;
let installationIdOnce = null;

async function loadOrCreateInstallationId() {
  const stored = (await api.storage.local.get(INSTALLATION_ID))[INSTALLATION_ID];
  if (INSTALLATION_ID_PATTERN.test(stored || ""))
    return stored;
  const created = randomHex(8);
  await api.storage.local.set({ [INSTALLATION_ID]: created });
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

// An id that never names another download: the browser numbers its downloads from 1 again once
// it forgot the earlier ones, so its number is no part of it.
export async function newDownloadId() {
  return `${await installationId()}-${randomHex(8)}`;
}

// Resolves to Rushlet's reply, or to {ok:false,error} when the host is missing, refuses the
// extension or ends without answering; never rejects.
export async function askRushlet(message) {
  try {
    const reply = await api.runtime.sendNativeMessage(HOST, message);
    if (reply && typeof reply === "object")
      return reply;
    return { ok: false, error: "Rushlet sent no answer." };
  } catch (error) {
    return { ok: false, error: String((error && error.message) || error) };
  }
}
