// The web register's behaviour in the browser: the entry form shows the
// fields of the kind chosen, adds distribution-line rows, and buttons with
// data-confirm ask first. Nothing here is needed to use the pages: without
// script every field is shown and every form still works.
"use strict";
(function () {
  function kindOf(form) {
    var select = form.querySelector("#in-type");
    if (select) return select.value;
    var fixed = form.querySelector("input[name=type]");
    return fixed ? fixed.value : "";
  }
  function showKind(form) {
    var kind = kindOf(form);
    form.querySelectorAll("[data-types]").forEach(function (el) {
      var kinds = el.getAttribute("data-types").split(" ");
      el.classList.toggle("hidden", kinds.indexOf(kind) < 0);
    });
  }
  document.addEventListener("DOMContentLoaded", function () {
    var form = document.getElementById("entry");
    if (form) {
      showKind(form);
      var select = form.querySelector("#in-type");
      if (select) select.addEventListener("change", function () { showKind(form); });
      var add = document.getElementById("add-line");
      if (add) {
        add.addEventListener("click", function () {
          var body = form.querySelector("#lines tbody");
          var last = body.querySelector("tr:last-child");
          var row = last.cloneNode(true);
          var n = body.querySelectorAll("tr").length + 1;
          row.querySelectorAll("input").forEach(function (input) {
            input.value = "";
            input.id = input.id.replace(/-\d+$/, "-" + n);
            input.name = input.name.replace(/_\d+$/, "_" + n);
          });
          body.appendChild(row);
        });
      }
    }
    document.querySelectorAll("[data-confirm]").forEach(function (button) {
      button.addEventListener("click", function (event) {
        if (!window.confirm(button.getAttribute("data-confirm"))) event.preventDefault();
      });
    });
  });
})();
