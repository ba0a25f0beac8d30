#include <string>
#include <string_view>

#include "hosts/browser/browser_server.h"

namespace corvane::browser {
namespace {

// ES3 throughout: the same page runs in Internet Explorer 7.
constexpr std::string_view kShim = R"JS(
(function () {
  var base = '@BASE@';
  var answered = 0;
  function request() {
    return window.XMLHttpRequest ? new XMLHttpRequest() : new ActiveXObject('Microsoft.XMLHTTP');
  }
  function parse(text) {
    return window.JSON ? JSON.parse(text) : eval('(' + text + ')');
  }
  function postSync(path, body) {
    var r = request();
    try {
      r.open('POST', base + path, false);
      r.setRequestHeader('Content-Type', 'application/json');
      r.send(body);
    } catch (e) {
      return null;
    }
    return r.status === 200 ? parse(r.responseText) : null;
  }
  function post(path, body) {
    var r = request();
    r.open('POST', base + path, true);
    r.setRequestHeader('Content-Type', 'application/json');
    r.send(body);
  }
  function apply(calls) {
    var i, f;
    for (i = 0; calls && i < calls.length; i++) {
      f = window[calls[i].name];
      if (typeof f === 'function') {
        try {
          f.apply(window, calls[i].args);
        } catch (e) {
        }
      }
    }
  }
  function promptText(p) {
    var text = p.title + '\n\n' + p.instruction + '\n\n' + p.content;
    return text;
  }
  // A prompt inside a command: the page waits for the command, so only the browser's own
  // modal dialogs can ask. OK is the command link.
  function askNow(p) {
    var answer = 1;
    answered = p.id;
    if (p.choice) {
      answer = window.confirm(promptText(p) + '\n\n' + p.links[0].text) ? p.links[0].id : p.links[1].id;
    } else {
      window.alert(promptText(p));
    }
    return answer;
  }
  function call(name) {
    return function () {
      var args = [], i, r;
      for (i = 0; i < arguments.length; i++) {
        args.push(typeof arguments[i] === 'number' ? arguments[i] : parseInt(arguments[i], 10) || 0);
      }
      r = postSync('external/' + name, '[' + args.join(',') + ']');
      while (r && !r.done) {
        apply(r.calls);
        r = postSync('answer/' + r.prompt.id, String(askNow(r.prompt)));
      }
      if (r) {
        apply(r.calls);
      }
    };
  }
  var names = ['install', 'installcom', 'installmulti', 'fix', 'check', 'installandfix', 'stop'];
  var external = {}, n;
  for (n = 0; n < names.length; n++) {
    external[names[n]] = call(names[n]);
  }
  try {
    window.external = external;
  } catch (e) {
  }
  if (window.external !== external) {
    try {
      Object.defineProperty(window, 'external', { value: external, configurable: true });
    } catch (e2) {
    }
  }
  var openSite = call('onOpen');
  function onClick(e) {
    var t = e ? e.target : window.event.srcElement;
    for (; t; t = t.parentNode) {
      if (t.id === 'onOpen') {
        openSite();
        return;
      }
    }
  }
  if (document.addEventListener) {
    document.addEventListener('click', onClick, false);
  } else {
    document.attachEvent('onclick', onClick);
  }
  // A prompt from the dialog's timers or workers: a modal box over the page.
  function showBox(p) {
    var cover = document.createElement('div'), box = document.createElement('div'), i;
    answered = p.id;
    cover.id = 'corvanePrompt';
    cover.style.cssText = 'position:absolute;left:0;top:0;width:100%;height:100%;z-index:1000;background:#555;filter:alpha(opacity=95);';
    box.style.cssText = 'margin:120px auto;width:420px;background:#fff;border:1px solid #336;padding:16px;font:14px sans-serif;';
    function line(tag, text, style) {
      var e = document.createElement(tag);
      e.style.cssText = style;
      e.appendChild(document.createTextNode(text));
      box.appendChild(e);
      return e;
    }
    line('div', p.title, 'font-weight:bold;color:#336;margin-bottom:10px;').className = 'prompt_title';
    line('div', p.instruction, 'font-size:16px;color:#039;margin-bottom:8px;').className = 'prompt_instruction';
    line('div', p.content, 'margin-bottom:12px;white-space:pre-wrap;').className = 'prompt_content';
    function answer(id) {
      return function () {
        cover.parentNode.removeChild(cover);
        post('answer/' + p.id, String(id));
        return false;
      };
    }
    var links = p.links.length ? p.links : [{ id: 1, text: '确定' }];
    for (i = 0; i < links.length; i++) {
      line('a', links[i].text, 'display:block;margin:6px 0;color:#06c;cursor:pointer;').onclick = answer(links[i].id);
    }
    cover.appendChild(box);
    document.body.appendChild(cover);
  }
  function poll() {
    var r = request();
    r.open('GET', base + 'events?' + new Date().getTime(), true);
    r.onreadystatechange = function () {
      var m;
      if (r.readyState !== 4) {
        return;
      }
      if (r.status === 200) {
        m = parse(r.responseText);
        apply(m.calls);
        if (m.prompt && m.prompt.id > answered && document.body) {
          showBox(m.prompt);
        }
        poll();
      } else if (r.status !== 403 && r.status !== 0) {
        window.setTimeout(poll, 1000);
      }
    };
    r.send(null);
  }
  // The system's calls wait until the page has loaded and run its own document-ready
  // code, as the dialog's first reports come after the document is complete.
  function start() {
    window.setTimeout(poll, 0);
  }
  if (window.addEventListener) {
    window.addEventListener('load', start, false);
  } else {
    window.attachEvent('onload', start);
  }
  function gone() {
    if (navigator.sendBeacon) {
      navigator.sendBeacon(base + 'closed', '');
    } else {
      postSync('closed', '');
    }
  }
  if (window.addEventListener) {
    window.addEventListener('pagehide', gone, false);
  } else {
    window.attachEvent('onunload', gone);
  }
})();
)JS";

}  // namespace

std::string ShimScript(std::string_view token) {
  std::string script(kShim);
  const std::string marker = "@BASE@";
  script.replace(script.find(marker), marker.size(), "/" + std::string(token) + "/");
  return script;
}

}  // namespace corvane::browser
