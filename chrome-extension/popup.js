import { describe } from "./handoff.js";
import { askRushlet, heldDownloads, onHeldDownloadsChanged, sendingEnabled, setSendingEnabled } from "./rushlet.js";

const toggle = document.getElementById("sendDownloads");
const connection = document.getElementById("connection");
const heldSection = document.getElementById("held");
const heldList = document.getElementById("heldList");

sendingEnabled().then((enabled) => {
  toggle.checked = enabled;
});
toggle.addEventListener("change", () => setSendingEnabled(toggle.checked));

askRushlet({ type: "ping" }).then((reply) => {
  connection.classList.toggle("failed", reply.ok !== true);
  connection.textContent =
    reply.ok === true ? "Rushlet answered." : "Rushlet did not answer: " + (reply.error || "no reason given.");
});

// The downloads the browser holds until Rushlet has them, oldest first.
function showHeld(held) {
  const records = Object.values(held).sort((a, b) => a.heldSince - b.heldSince);
  heldSection.hidden = records.length === 0;
  heldList.replaceChildren(
    ...records.map((record) => {
      const row = document.createElement("li");
      const name = document.createElement("span");
      name.className = "name";
      name.textContent = record.name;
      name.title = record.name;
      const said = document.createElement("span");
      said.className = "said secondary";
      said.textContent = describe(record);
      row.append(name, said);
      return row;
    }),
  );
}

heldDownloads().then(showHeld);
onHeldDownloadsChanged(showHeld);
