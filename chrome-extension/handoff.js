// What the extension decides by itself: which downloads it may hand over, the message that hands
// one over, and what to do with the browser's copy once Rushlet has said where the download
// stands. Plain functions of plain values, with no browser API, so that every browser's extension
// shares them; the browser's own calls live in background.js.

// A held download the browser keeps paused this long without Rushlet having it goes on in the
// browser: the user should not wait forever for a file that was theirs already. One that runs on
// while held is let go after as long.
export const HOLD_LIMIT_MS = 24 * 60 * 60 * 1000;
// How long a hand-off may be under way before its record counts as interrupted.
export const SENDING_GRACE_MS = 60 * 1000;
// The native host and Rushlet refuse longer messages.
export const MAX_MESSAGE_BYTES = 65536;

const MAX_LINK_LENGTH = 16000;
const MAX_USER_AGENT_LENGTH = 1024;
const MAX_COOKIES = 300;
const MAX_COOKIE_BYTES = 4096;
const MAX_COOKIE_DOMAIN_LENGTH = 255;
const MAX_COOKIE_PATH_LENGTH = 1024;
const MIME_PATTERN = /^[!#$%&'*+.^_`|~0-9A-Za-z-]+\/[!#$%&'*+.^_`|~0-9A-Za-z-]+$/;
const DOMAIN_PATTERN = /^\.?[A-Za-z0-9_.:[\]-]+$/;
// Control characters end or split header lines; the separators split cookies.
const UNSAFE_IN_HEADER = /[\u0000-\u001f\u007f]/;

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

// A link Rushlet accepts besides the download's own: http(s), a host, no credentials, not too long.
function isSendableLink(text) {
  if (typeof text !== "string" || text.length === 0 || text.length > MAX_LINK_LENGTH || !isWebUrl(text))
    return false;
  const url = new URL(text);
  return url.hostname !== "" && url.username === "" && url.password === "";
}

function byteLength(text) {
  return new TextEncoder().encode(text).length;
}

// The browser's cookies in the form Rushlet keeps, without those it would refuse (which would cost
// the whole hand-off) and those that have expired; each name, domain and path once.
export function wireCookies(cookies, nowSeconds) {
  const seen = new Set();
  const result = [];
  for (const cookie of cookies || []) {
    const { name, value, domain, path } = cookie;
    if (typeof name !== "string" || typeof value !== "string" || typeof domain !== "string")
      continue;
    const wellFormed =
      name !== "" &&
      !/[;=]/.test(name) &&
      !value.includes(";") &&
      !UNSAFE_IN_HEADER.test(name + value) &&
      byteLength(name + value) <= MAX_COOKIE_BYTES &&
      domain.length <= MAX_COOKIE_DOMAIN_LENGTH &&
      DOMAIN_PATTERN.test(domain) &&
      typeof path === "string" &&
      path.startsWith("/") &&
      path.length <= MAX_COOKIE_PATH_LENGTH &&
      !path.includes(";") &&
      !UNSAFE_IN_HEADER.test(path);
    const expired = typeof cookie.expirationDate === "number" && cookie.expirationDate <= nowSeconds;
    const key = [name, domain.toLowerCase(), path].join("\n");
    if (!wellFormed || expired || seen.has(key) || result.length === MAX_COOKIES)
      continue;
    seen.add(key);
    const sent = { name, value, domain, path, hostonly: cookie.hostOnly !== false, secure: cookie.secure === true };
    if (typeof cookie.expirationDate === "number")
      sent.expires = Math.floor(cookie.expirationDate);
    result.push(sent);
  }
  return result;
}

// The host of the site a cookie is bound to: the top-level site of its partition, or the first
// party it was set under where the browser isolates first parties; null for a cookie bound to no
// site, undefined for a partition that cannot be read.
function siteOf(cookie) {
  const site = cookie.partitionKey && cookie.partitionKey.topLevelSite;
  if (site) {
    try {
      return new URL(site).hostname;
    } catch {
      return undefined;
    }
  }
  return cookie.firstPartyDomain || null;
}

// A cookie bound to a site goes along only with a download started from that site; one bound to
// none goes everywhere the browser sends it.
export function cookiesOfSite(cookies, referrer) {
  let referrerHost = "";
  try {
    referrerHost = new URL(referrer).hostname;
  } catch {
    // No page started the download: only unpartitioned cookies apply.
  }
  return (cookies || []).filter((cookie) => {
    const siteHost = siteOf(cookie);
    if (siteHost === null)
      return true;
    return Boolean(siteHost) && (referrerHost === siteHost || referrerHost.endsWith("." + siteHost));
  });
}

// The "download" message for a browser download: its link as clicked, and what the browser knows
// of it that Rushlet needs to fetch the same file the same way. A field Rushlet would refuse is
// left out, so that the download is still handed over; without its cookies, should they not fit,
// Rushlet may be refused by the site, and then the browser's copy goes on.
export function downloadMessage(item, id, session) {
  const message = { type: "download", url: item.url, id, filename: baseName(item.filename) };
  const finalUrl = item.finalUrl || item.url;
  if (finalUrl !== item.url && isSendableLink(finalUrl))
    message.finalurl = finalUrl;
  if (isSendableLink(item.referrer))
    message.referrer = item.referrer;
  const agent = session.userAgent;
  if (typeof agent === "string" && agent.length > 0 && agent.length <= MAX_USER_AGENT_LENGTH && /^[\x20-\x7e]+$/.test(agent))
    message.useragent = agent;
  if (typeof item.mime === "string" && item.mime.length <= 255 && MIME_PATTERN.test(item.mime))
    message.mime = item.mime.toLowerCase();
  // Browsers give 0 or -1 for a size they do not know.
  if (Number.isSafeInteger(item.totalBytes) && item.totalBytes > 0)
    message.size = item.totalBytes;
  const cookies = wireCookies(session.cookies, session.nowSeconds);
  if (cookies.length > 0)
    message.cookies = cookies;
  if (byteLength(JSON.stringify(message)) > MAX_MESSAGE_BYTES)
    delete message.cookies;
  return message;
}

// The record of a download the browser holds for Rushlet: paused, or left to run on (`runsOn`)
// where the browser could not be trusted to resume it.
export function heldRecord(item, message, now, runsOn) {
  return {
    browserId: item.id,
    requestId: message.id,
    url: item.url,
    name: message.filename || baseName(item.finalUrl || item.url),
    startTime: item.startTime || "",
    heldSince: now,
    acknowledged: false,
    state: "sending",
    runsOn,
  };
}

// The browser reuses a download's number once it forgot the download; a record belongs to the
// browser's download that started at the same moment from the same link.
export function isSameDownload(record, item) {
  return Boolean(item) && item.id === record.browserId && item.url === record.url && (item.startTime || "") === record.startTime;
}

// What to do with the browser's copy, given Rushlet's answer to "status" (or the failure to get
// one) and the browser's download now (null when the browser no longer has it):
//   "erase"  Rushlet has the file or bytes of it: the browser's copy goes.
//   "resume" Rushlet failed before it had anything, never got the download or lost it, or the day
//            is over: the browser goes on with its copy.
//   "cancel" the user cancelled the download in Rushlet: nobody downloads it.
//   "forget" nothing more to do: the browser's download is gone, finished or taken back by the user.
//   "keep"   ask again later.
export function decide(record, reply, item, now) {
  if (!item)
    return "forget";
  const finished = item.state === "complete";
  // A download the browser let run on while Rushlet was asked (where it could not be trusted to
  // resume one) has nothing to resume, and its running is no sign that the user took it back.
  const runsOn = record.runsOn === true;
  // Resumed in the browser by the user, or never paused: the browser's download is theirs again.
  if (!runsOn && item.state === "in_progress" && !item.paused)
    return "forget";
  // Where Rushlet will not have it, a copy held paused is resumed; a finished one, or one that runs
  // on, needs nothing.
  const goOn = finished || runsOn ? "forget" : "resume";
  // A copy that runs on may have ended in the browser meanwhile; one paused by the user, or by the
  // browser over a restart, is still going.
  const going = runsOn ? item.state === "in_progress" || item.paused === true : !finished;
  if (reply && reply.ok === true) {
    switch (reply.state) {
    case "done":
      return "erase";
    case "fetching":
      // A copy the browser finished stays until Rushlet's is complete too.
      return finished ? "keep" : "erase";
    case "failed":
      // While a copy that runs on is still coming in, a retry in Rushlet may take it over yet.
      return runsOn && going ? "keep" : goOn;
    case "gone":
      // Never acknowledged: the hand-off did not arrive, and the browser must go on.
      if (!record.acknowledged)
        return goOn;
      // Declined by the user: a copy still coming in is stopped, a finished one stays.
      return going ? "cancel" : "forget";
    case "unknown":
      // Rushlet lost it without the user saying so (its list was lost or moved aside).
      return goOn;
    default:
      break;
    }
  }
  if (now - record.heldSince >= HOLD_LIMIT_MS)
    return goOn;
  return "keep";
}

// How long until the held downloads are asked about again: often while a hand-off is fresh (the
// user is confirming it right now), rarely once it has waited a while. Null when nothing is held.
export function askingDelay(records, now) {
  if (records.length === 0)
    return null;
  const youngest = Math.min(...records.map((record) => now - record.heldSince));
  if (youngest < 2 * 60 * 1000)
    return 2000;
  if (youngest < 15 * 60 * 1000)
    return 10000;
  return 60000;
}

// What the popup says of a held download.
export function describe(record) {
  switch (record.state) {
  case "sending":
    return "Being handed to Rushlet…";
  case "awaiting":
    return "Waiting for your confirmation in Rushlet.";
  case "queued":
    return "Confirmed in Rushlet; nothing received yet.";
  case "fetching":
    return "Rushlet is receiving it.";
  case "failed":
    // Only a download the browser let run on is held past Rushlet's failure.
    return "Rushlet could not fetch it; the browser goes on with its own copy.";
  case "unreachable":
    return "Rushlet did not answer: " + (record.error || "no reason given.");
  default:
    return "Rushlet said: " + record.state;
  }
}
