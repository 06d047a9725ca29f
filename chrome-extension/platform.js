// What the Chromium family does its own way. The Firefox extension has a platform.js of its own
// with the same exports; everything else the two extensions share.

export const api = chrome;

// A paused download goes on over the connection it had, so the browser's copy of a download handed
// to Rushlet is paused until Rushlet has bytes of it, and resumed should Rushlet fail before that.
export const pausesHeldDownloads = true;

// The name-choosing step holds a new download until it is answered, which is the last moment at
// which it can be taken over before the browser writes the file into its folder. `wanted` decides
// at once; `handOver` calls the release it is given when the browser may go on.
export function watchNewDownloads(wanted, handOver) {
  chrome.downloads.onDeterminingFilename.addListener((item, suggest) => {
    if (!wanted(item))
      return false;
    handOver(item, () => suggest());
    return true;
  });
}

// Goes on with a paused download; fails when the browser cannot.
export function resumeDownload(id) {
  return chrome.downloads.resume(id);
}

// The cookie queries for a download's link, tried in order until one is answered: with the
// partitioned cookies first, where the browser gives them out.
export function cookieQueries(url) {
  return [{ url, partitionKey: {} }, { url }];
}
