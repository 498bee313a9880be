// The reconciliation page's behaviour: a tick or untick is sent in the
// background (the same form the page posts without script, asked for JSON)
// and the figures, the row and the finish button follow from the answer, so
// the page is not loaded again. A refusal is shown above the figures with
// the server's words. Text from the server is only ever set as text.
"use strict";
(function () {
  var figureIds = {
    opening: "fig-opening", deposits: "fig-deposits", payments: "fig-payments",
    cleared_balance: "fig-cleared", ending: "fig-ending", difference: "fig-difference", count: "fig-count"
  };
  function showFigures(f) {
    Object.keys(figureIds).forEach(function (k) {
      var el = document.getElementById(figureIds[k]);
      if (el && f[k] !== undefined) el.textContent = String(f[k]);
    });
    var diff = document.getElementById("fig-difference");
    if (diff) {
      diff.classList.toggle("zero", f.zero);
      diff.classList.toggle("nonzero", !f.zero);
    }
    var finish = document.getElementById("finish");
    if (finish) finish.disabled = !f.zero;
    var hint = document.getElementById("finish-hint");
    if (hint) hint.classList.toggle("hidden", f.zero);
    var figures = document.getElementById("figures");
    if (figures) figures.setAttribute("data-difference", String(f.difference));
  }
  function showMessage(kind, text) {
    var box = document.getElementById("notices");
    if (!box) return;
    box.textContent = "";
    if (!text) return;
    var div = document.createElement("div");
    div.className = "notice " + kind;
    div.id = kind === "error" ? "tick-refused" : "tick-done";
    text.split("\n").forEach(function (line) {
      var p = document.createElement("p");
      p.textContent = line;
      div.appendChild(p);
    });
    box.appendChild(div);
  }
  function setRow(form, ticked) {
    var row = form.closest("tr");
    if (row) row.classList.toggle("ticked", ticked);
    var button = form.querySelector("button");
    button.textContent = ticked ? "\u2611" : "\u2610";
    button.setAttribute("aria-pressed", ticked ? "true" : "false");
    form.querySelector("input[name=on]").value = ticked ? "0" : "1";
  }
  function send(form) {
    var button = form.querySelector("button");
    if (button.disabled) return;
    button.disabled = true;
    document.body.setAttribute("data-ticking", "1");
    fetch(form.action, {
      method: "POST",
      headers: { "Accept": "application/json" },
      body: new URLSearchParams(new FormData(form)),
      credentials: "same-origin"
    }).then(function (response) {
      return response.json().then(function (answer) { return { status: response.status, answer: answer }; });
    }).then(function (r) {
      if (r.answer.figures) showFigures(r.answer.figures);
      if (r.answer.ok) {
        setRow(form, r.answer.ticked);
        showMessage("ok", "");
      } else {
        showMessage("error", r.answer.message || ("Refused (" + r.status + ")"));
      }
    }).catch(function () {
      showMessage("error", "The server did not answer; reload the page.");
    }).then(function () {
      button.disabled = false;
      document.body.removeAttribute("data-ticking");
    });
  }
  document.addEventListener("DOMContentLoaded", function () {
    document.querySelectorAll("form[data-tick]").forEach(function (form) {
      form.addEventListener("submit", function (event) {
        event.preventDefault();
        send(form);
      });
    });
  });
})();
