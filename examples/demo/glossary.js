// Fills the glossary from glossary.json, which lies beside this page.
(function () {
  "use strict";

  const status = document.getElementById("glossary-status");
  const list = document.getElementById("glossary");

  function showTerms(data) {
    if (!data || !Array.isArray(data.terms)) {
      throw new Error("glossary.json holds no list of terms");
    }
    for (const entry of data.terms) {
      const term = document.createElement("dt");
      term.textContent = String(entry.term);
      const definition = document.createElement("dd");
      definition.textContent = String(entry.definition);
      list.append(term, definition);
    }
    status.textContent = data.terms.length + " terms, read from glossary.json.";
  }

  function showError(message) {
    status.textContent = "The glossary could not be read: " + message + ".";
    status.classList.add("error");
  }

  // A file URL answers with status 0, so the body itself says whether the read worked.
  const request = new XMLHttpRequest();
  request.open("GET", "glossary.json");
  request.responseType = "text";
  request.onload = () => {
    try {
      showTerms(JSON.parse(request.responseText));
    } catch (error) {
      showError(error.message);
    }
  };
  request.onerror = () => showError("the file is missing or may not be read from this page");
  request.send();
})();
