// Hands the browser's downloads to Rushlet. The browser keeps every download that Rushlet does
// not explicitly accept, so a missing or failing Rushlet never costs the user a file.
import { askRushlet, downloadRequest, isWebUrl, sendingEnabled } from "./rushlet.js";

async function rushletTakes(item) {
  if (!(await sendingEnabled()))
    return false;
  const reply = await askRushlet(await downloadRequest(item));
  if (reply.ok !== true)
    console.warn("Rushlet did not take the download; the browser keeps it.", reply.error || "");
  return reply.ok === true;
}

async function dropBrowserCopy(id) {
  try {
    await chrome.downloads.cancel(id);
  } catch (error) {
    console.warn("Could not cancel the browser's copy of download", id, error);
  }
  try {
    await chrome.downloads.erase({ id });
  } catch (error) {
    console.warn("Could not remove download", id, "from the browser's list", error);
  }
}

function letBrowserContinue(suggest) {
  try {
    suggest();
  } catch (error) {
    // The user cancelled the download while Rushlet was being asked.
  }
}

// The name-choosing step holds the download until we answer, which is the last moment at which
// it can be taken over before the browser writes the file into its folder.
chrome.downloads.onDeterminingFilename.addListener((item, suggest) => {
  if (item.incognito || !isWebUrl(item.finalUrl || item.url))
    return false;
  rushletTakes(item)
    .catch(() => false)
    .then((taken) => (taken ? dropBrowserCopy(item.id) : letBrowserContinue(suggest)));
  return true;
});
