// Hands the browser's downloads to Rushlet. The browser's own copy is held, not dropped, until
// Rushlet has received bytes of the file: paused, or left to run on where the browser could not be
// trusted to resume it; a missing, refusing or failing Rushlet never costs the user a file. Everything that calls the browser is here, but for what each browser does its own
// way (platform.js); the decisions are in handoff.js.
import {
  askingDelay,
  cookiesOfSite,
  decide,
  downloadMessage,
  heldRecord,
  isSameDownload,
  isWebUrl,
  SENDING_GRACE_MS,
} from "./handoff.js";
import { api, cookieQueries, pausesHeldDownloads, resumeDownload, watchNewDownloads } from "./platform.js";
import { askRushlet, heldDownloads, newDownloadId, sendingEnabled, storeHeldDownloads } from "./rushlet.js";

const ASKING_ALARM = "askAboutHeldDownloads";
// A download that follows a form sent within this time may have been made by POST.
const POST_MEMORY_MS = 60 * 1000;

// ---- The records of held downloads: one change at a time, so that none is lost ----------------

let heldChanges = Promise.resolve();

function changeHeld(change) {
  const step = heldChanges.then(async () => {
    const held = await heldDownloads();
    change(held);
    await storeHeldDownloads(held);
    return held;
  });
  heldChanges = step.catch(() => {});
  return step;
}

// ---- Downloads made by sending a form --------------------------------------------------------

// Rushlet can only repeat a GET; a download the browser made by POST stays with the browser.
const recentPosts = new Map();

api.webRequest.onBeforeRequest.addListener(
  (details) => {
    if (details.method !== "POST")
      return;
    const now = Date.now();
    for (const [url, at] of recentPosts) {
      if (now - at > POST_MEMORY_MS)
        recentPosts.delete(url);
    }
    recentPosts.set(details.url, now);
  },
  { urls: ["http://*/*", "https://*/*"], types: ["main_frame", "sub_frame"] },
);

function madeByPost(item) {
  const at = recentPosts.get(item.url);
  return at !== undefined && Date.now() - at <= POST_MEMORY_MS;
}

// ---- Handing a download over -----------------------------------------------------------------

// The cookies the browser would send for the download's link and where it led, partitioned ones
// of the starting page's site included where the browser gives them out.
async function browserCookies(item) {
  const found = [];
  for (const url of new Set([item.url, item.finalUrl || item.url])) {
    let cookies = [];
    for (const query of cookieQueries(url, item)) {
      try {
        cookies = await api.cookies.getAll(query);
        break;
      } catch {
        // The browser does not know this form of the query; the next is plainer.
      }
    }
    found.push(...cookiesOfSite(cookies, item.referrer));
  }
  return found;
}

async function session(item) {
  return { userAgent: navigator.userAgent, cookies: await browserCookies(item), nowSeconds: Date.now() / 1000 };
}

function letBrowserContinue(release) {
  try {
    release();
  } catch (error) {
    // The user cancelled the download while Rushlet was being asked.
  }
}

async function pause(id) {
  try {
    await api.downloads.pause(id);
    return true;
  } catch {
    return false;
  }
}

async function handOver(item, release) {
  let taken = false;
  let paused = false;
  try {
    if (!(await sendingEnabled()))
      return;
    // Paused before Rushlet is asked, where the browser holds by pausing: it must not finish a copy
    // that Rushlet takes over. One it cannot pause (finished or cancelled meanwhile) stays with it.
    if (pausesHeldDownloads) {
      paused = await pause(item.id);
      if (!paused)
        return;
    }
    const held = await heldDownloads();
    const earlier = held[item.id];
    // The browser reporting the same download twice gets the one id, and Rushlet takes it once.
    const id = earlier && isSameDownload(earlier, item) ? earlier.requestId : await newDownloadId();
    const message = downloadMessage(item, id, await session(item));
    await changeHeld((records) => {
      records[item.id] = heldRecord(item, message, Date.now(), !pausesHeldDownloads);
    });
    const reply = await askRushlet(message);
    taken = reply.ok === true;
    if (!taken)
      console.warn("Rushlet did not take the download; the browser keeps it.", reply.error || "");
  } catch (error) {
    console.warn("Could not hand the download to Rushlet; the browser keeps it.", error);
  } finally {
    await changeHeld((records) => {
      const record = records[item.id];
      if (record && taken) {
        record.acknowledged = true;
        record.state = "awaiting";
      } else {
        delete records[item.id];
      }
    }).catch(() => {});
    letBrowserContinue(release);
    if (!taken && paused)
      continueInBrowser(item);
  }
  if (taken)
    askSoon();
}

// Private downloads, the extension's own, and those Rushlet cannot repeat stay with the browser.
function wanted(item) {
  return !item.incognito && item.byExtensionId !== api.runtime.id && isWebUrl(item.url) &&
         isWebUrl(item.finalUrl || item.url) && !madeByPost(item);
}

watchNewDownloads(wanted, handOver);

// ---- Asking Rushlet about the held downloads -------------------------------------------------

// False when the browser finished its copy before the cancel reached it: what becomes of a finished
// copy is decided anew.
async function dropBrowserCopy(item) {
  try {
    if (item.state === "complete")
      await api.downloads.removeFile(item.id);
    else
      await api.downloads.cancel(item.id);
  } catch (error) {
    console.warn("Could not remove the browser's copy of download", item.id, error);
  }
  if (item.state !== "complete") {
    const [now] = await api.downloads.search({ id: item.id });
    if (now && now.state === "complete")
      return false;
  }
  try {
    await api.downloads.erase({ id: item.id });
  } catch (error) {
    console.warn("Could not remove download", item.id, "from the browser's list", error);
  }
  return true;
}

// Goes on with the browser's copy; one the server cannot resume is fetched anew by the browser.
async function continueInBrowser(item) {
  try {
    await resumeDownload(item.id);
    return;
  } catch (error) {
    console.warn("The browser cannot resume download", item.id, "; it starts it again.", error);
  }
  try {
    await api.downloads.download({ url: item.url });
    await dropBrowserCopy(item);
  } catch (error) {
    console.warn("Could not start download", item.url, "again", error);
  }
}

async function settle(record, now) {
  const [found] = await api.downloads.search({ id: record.browserId });
  const item = isSameDownload(record, found) ? found : null;
  // A hand-off still under way answers for itself.
  if (item && record.state === "sending" && now - record.heldSince < SENDING_GRACE_MS)
    return;
  const reply = item ? await askRushlet({ type: "status", id: record.requestId }) : null;
  const action = decide(record, reply, item, now);
  let settled = action !== "keep";
  if (action === "erase" || action === "cancel")
    settled = await dropBrowserCopy(item);
  else if (action === "resume")
    await continueInBrowser(item);
  await changeHeld((records) => {
    if (!records[record.browserId] || records[record.browserId].requestId !== record.requestId)
      return;
    if (settled) {
      delete records[record.browserId];
    } else if (reply && reply.ok === true) {
      records[record.browserId].state = reply.state;
      delete records[record.browserId].error;
    } else if (record.acknowledged) {
      records[record.browserId].state = "unreachable";
      records[record.browserId].error = (reply && reply.error) || "";
    }
  });
}

let asking = null;
let askingTimer = null;

async function askAboutHeldDownloads() {
  if (asking)
    return asking;
  clearTimeout(askingTimer);
  asking = (async () => {
    const records = Object.values(await heldDownloads());
    for (const record of records) {
      try {
        await settle(record, Date.now());
      } catch (error) {
        console.warn("Could not settle held download", record.browserId, error);
      }
    }
  })().finally(() => {
    asking = null;
    askLater();
  });
  return asking;
}

// While something is held, asked again after a while by a timer, and by an alarm should the
// browser stop the worker meanwhile.
async function askLater() {
  const records = Object.values(await heldDownloads());
  const delay = askingDelay(records, Date.now());
  if (delay === null) {
    api.alarms.clear(ASKING_ALARM);
    return;
  }
  clearTimeout(askingTimer);
  askingTimer = setTimeout(askAboutHeldDownloads, delay);
  api.alarms.create(ASKING_ALARM, { periodInMinutes: 1 });
}

function askSoon() {
  if (!asking)
    askLater();
}

api.alarms.onAlarm.addListener((alarm) => {
  if (alarm.name === ASKING_ALARM)
    askAboutHeldDownloads();
});

// A browser restarted with downloads held may take them up again by itself; those it held paused
// stay paused until Rushlet has said where they stand.
api.runtime.onStartup.addListener(async () => {
  for (const record of Object.values(await heldDownloads())) {
    const [item] = await api.downloads.search({ id: record.browserId });
    if (!record.runsOn && isSameDownload(record, item) && item.state === "in_progress" && !item.paused)
      await pause(item.id);
  }
  askAboutHeldDownloads();
});

// A worker that starts with downloads held asks about them shortly; at the browser's start, the
// start-up above comes first.
askLater();
