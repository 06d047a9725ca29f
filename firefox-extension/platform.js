// What Firefox does its own way. The Chromium family's extension has a platform.js of its own with
// the same exports; everything else the two extensions share.

export const api = browser;

// Firefox resumes a paused download by asking the site again, which may refuse by then (a sign-in
// that expired while the user confirmed in Rushlet, a link that works once): the browser's copy of
// a download handed to Rushlet runs on instead, and is cancelled once Rushlet has bytes of it.
export const pausesHeldDownloads = false;

// Firefox has no step that holds a new download: it tells of one once it has started, before it
// knows the size, which Rushlet checks its own fetch against. The download is taken over once its
// first bytes are in.
const FIRST_BYTES_LIMIT_MS = 10000;
const FIRST_BYTES_POLL_MS = 25;

function delay(ms) {
  return new Promise((resolve) => setTimeout(resolve, ms));
}

// The download once it receives, has ended or has waited too long for its first bytes; null when
// it is gone.
async function receiving(id) {
  const deadline = Date.now() + FIRST_BYTES_LIMIT_MS;
  for (;;) {
    const [item] = await browser.downloads.search({ id });
    if (!item || item.state !== "in_progress" || item.bytesReceived > 0 || Date.now() >= deadline)
      return item || null;
    await delay(FIRST_BYTES_POLL_MS);
  }
}

// `wanted` decides at once; a download that finished, failed or was cancelled before it could be
// taken over stays with the browser.
export function watchNewDownloads(wanted, handOver) {
  browser.downloads.onCreated.addListener(async (created) => {
    if (!wanted(created))
      return;
    const item = await receiving(created.id);
    if (item && item.state === "in_progress" && !item.paused)
      handOver(item, () => {});
  });
}

// Goes on with a paused download (one an earlier version of the extension held paused); fails when
// the browser cannot. Firefox settles its own resume only once the download has ended, which may be
// hours away.
export async function resumeDownload(id) {
  const [item] = await browser.downloads.search({ id });
  if (!item || !item.canResume)
    throw new Error(`Download ${id} cannot be resumed.`);
  browser.downloads.resume(id).catch((error) => console.warn("Download", id, "did not finish in the browser", error));
}

// The cookies of the download's own container, partitioned ones and those of an isolated first
// party included; which of those go along is decided by the site the download started from.
export function cookieQueries(url, item) {
  const query = { url, partitionKey: {}, firstPartyDomain: null };
  if (typeof item.cookieStoreId === "string")
    query.storeId = item.cookieStoreId;
  return [query];
}
