// Fills the glossary from glossary.json, which lies beside this page.
// ES5 and the DOM that the Windows web-browser control has as well as WebKit: XMLHttpRequest,
// JSON, createElement, appendChild.
(function () {
  "use strict";

  var status = document.getElementById("glossary-status");
  var list = document.getElementById("glossary");

  function showTerms(data) {
    if (!data || !Array.isArray(data.terms)) {
      throw new Error("glossary.json holds no list of terms");
    }
    for (var i = 0; i < data.terms.length; i++) {
      var entry = data.terms[i];
      var term = document.createElement("dt");
      term.textContent = String(entry.term);
      var definition = document.createElement("dd");
      definition.textContent = String(entry.definition);
      list.appendChild(term);
      list.appendChild(definition);
    }
    status.textContent = data.terms.length + " terms, read from glossary.json.";
  }

  function showError(message) {
    status.textContent = "The glossary could not be read: " + message + ".";
    status.className += " error";
  }

  var cannotRead = "the file is missing or may not be read from this page";
  var request = new XMLHttpRequest();
  // A file URL answers with status 0, so the body itself says whether the read worked; a
  // status of its own (404 from a server) means there was nothing to read.
  request.onload = function () {
    if (request.status !== 0 && request.status !== 200) {
      showError(cannotRead);
      return;
    }
    try {
      showTerms(JSON.parse(request.responseText));
    } catch (error) {
      showError(error.message);
    }
  };
  request.onerror = function () {
    showError(cannotRead);
  };
  // Some engines refuse a request they may not make at once, by throwing.
  try {
    request.open("GET", "glossary.json");
    request.send();
  } catch (error) {
    showError(cannotRead);
  }
})();
