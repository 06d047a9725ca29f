import { askRushlet, sendingEnabled, setSendingEnabled } from "./rushlet.js";

const toggle = document.getElementById("sendDownloads");
const connection = document.getElementById("connection");

sendingEnabled().then((enabled) => {
  toggle.checked = enabled;
});
toggle.addEventListener("change", () => setSendingEnabled(toggle.checked));

askRushlet({ type: "ping" }).then((reply) => {
  connection.classList.toggle("failed", reply.ok !== true);
  connection.textContent =
    reply.ok === true ? "Rushlet answered." : "Rushlet did not answer: " + (reply.error || "no reason given.");
});
