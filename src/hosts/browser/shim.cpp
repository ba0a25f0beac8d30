#include <string>
#include <string_view>

#include "hosts/browser/browser_server.h"

namespace corvane::browser {
namespace {

// ES3 throughout: the same page runs in Internet Explorer 7.
constexpr std::string_view kShim = R"JS(
(function () {
  var base = '@BASE@';
  // The number of the last of the dialog's calls applied to the page.
  var applied = 0;
  // The prompt over the page: its id and its cover; the last id shown, so a prompt that the
  // event poll and a command's answer both carry is shown once.
  var box = null, shown = 0;
  // A command whose request came back with the prompt it waits on: it has not finished.
  var unfinished = false;
  // Calls the page makes meanwhile, run in order once the command has finished.
  var queue = [];
  function request() {
    return window.XMLHttpRequest ? new XMLHttpRequest() : new ActiveXObject('Microsoft.XMLHTTP');
  }
  function parse(text) {
    return window.JSON ? JSON.parse(text) : eval('(' + text + ')');
  }
  function withApplied(path) {
    return base + path + (path.indexOf('?') < 0 ? '?' : '&') + 'applied=' + applied;
  }
  function postSync(path, body) {
    var r = request();
    try {
      r.open('POST', withApplied(path), false);
      r.setRequestHeader('Content-Type', 'application/json');
      r.send(body);
    } catch (e) {
      return null;
    }
    return r.status === 200 ? parse(r.responseText) : null;
  }
  // The poll and a command's answer can both carry a call and arrive in either order: each
  // call is applied once, in the dialog's order.
  function apply(calls) {
    var i, f;
    for (i = 0; calls && i < calls.length; i++) {
      if (calls[i].seq <= applied) {
        continue;
      }
      applied = calls[i].seq;
      if (calls[i].name === 'corvane:openSite') {
        // The answer to the click's own request: still the user's gesture, so no pop-up block.
        window.open(calls[i].args[0], '_blank');
        continue;
      }
      f = window[calls[i].name];
      if (typeof f === 'function') {
        try {
          f.apply(window, calls[i].args);
        } catch (e) {
        }
      }
    }
  }
  // What a command's request or a prompt's answer brought: the dialog's calls, then either
  // the end of the command or the prompt it now waits on.
  function follow(r) {
    if (r) {
      apply(r.calls);
    }
    if (r && r.done === false && r.prompt) {
      unfinished = true;
      showBox(r.prompt);
      return;
    }
    unfinished = false;
    while (!box && !unfinished && queue.length) {
      run(queue.shift());
    }
  }
  function run(c) {
    follow(postSync('external/' + c.name, '[' + c.args.join(',') + ']'));
  }
  // As in Internet Explorer, a command runs to its end before the page goes on; while its
  // prompt is open the page's script cannot wait for it (the box must be drawn and
  // clicked), so the page's further calls wait in order instead, and the box covers the page.
  function call(name) {
    return function () {
      var args = [], i;
      for (i = 0; i < arguments.length; i++) {
        args.push(typeof arguments[i] === 'number' ? arguments[i] : parseInt(arguments[i], 10) || 0);
      }
      queue.push({ name: name, args: args });
      if (!box && !unfinished) {
        follow(null);
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
  // A prompt of the dialog, whether a command or a timer or worker asks: a modal box over the
  // page with the title, the main instruction, the content and the command links. Its answer
  // is posted synchronously: a command that asked goes on at once and the page waits for it.
  function showBox(p) {
    var cover, panel, links, i;
    if (p.id <= shown || !document.body) {
      return;
    }
    shown = p.id;
    cover = document.createElement('div');
    panel = document.createElement('div');
    cover.id = 'corvanePrompt';
    cover.style.cssText = 'position:absolute;left:0;top:0;width:100%;height:100%;z-index:1000;background:#555;background:rgba(0,0,0,0.45);';
    panel.style.cssText = 'margin:120px auto;width:420px;background:#fff;border:1px solid #336;padding:16px;font:14px sans-serif;';
    function line(tag, text, style, className) {
      var e = document.createElement(tag);
      e.style.cssText = style;
      e.className = className;
      e.appendChild(document.createTextNode(text));
      panel.appendChild(e);
      return e;
    }
    line('div', p.title, 'font-weight:bold;color:#336;margin-bottom:10px;', 'prompt_title');
    line('div', p.instruction, 'font-size:16px;color:#039;margin-bottom:8px;', 'prompt_instruction');
    line('div', p.content, 'margin-bottom:12px;white-space:pre-wrap;', 'prompt_content');
    function answer(id) {
      return function () {
        if (box === cover) {
          cover.parentNode.removeChild(cover);
          box = null;
          follow(postSync('answer/' + p.id, String(id)));
        }
        return false;
      };
    }
    // A message has no link of its own: the platform gives it an OK button.
    links = p.links.length ? p.links : [{ id: 1, text: '确定' }];
    for (i = 0; i < links.length; i++) {
      line('a', links[i].text, 'display:block;margin:6px 0;color:#06c;cursor:pointer;',
        'prompt_link').onclick = answer(links[i].id);
    }
    cover.appendChild(panel);
    document.body.appendChild(cover);
    box = cover;
  }
  function poll() {
    var r = request();
    r.open('GET', withApplied('events?' + new Date().getTime()), true);
    r.onreadystatechange = function () {
      var m;
      if (r.readyState !== 4) {
        return;
      }
      if (r.status === 200) {
        m = parse(r.responseText);
        apply(m.calls);
        if (m.prompt) {
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
