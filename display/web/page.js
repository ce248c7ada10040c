// The page around the program: turns the URL's query parameters into the
// program's command line, picks the module this browser runs (WebAssembly
// SIMD or scalar), shows what `--version` prints under the picture, gives
// the picture its room (in the window, or the whole screen), offers full
// screen, waits for a start where the system asks for reduced motion, and
// shows how the program ended: its message, the page's help, or a link that
// continues the animation.
//
// How it ended is also on the root element, for scripts that drive the page:
// data-state is "starting", "waiting" (reduced motion: the first frame shown,
// the animation waiting for its start control), "running", "ended" (a key or
// a tap ended the animation), "printed" (help or version shown, nothing run),
// "refused" (a bad parameter: its message in #status, nothing run) or
// "failed" (the browser cannot run it, or the display could not open);
// data-exit-status is the program's exit status once it has one (2 for a bad
// parameter).
//
// Plain ES5, so that a browser too old for WebAssembly still runs it far
// enough to say so.
var quenlixorPage = (function () {
  'use strict';

  // What fps=max does to the eyes.
  var flashes = 'shown unpaced, the animation changes most of the picture many times a ' +
                'second, which can set off seizures in people with photosensitive epilepsy.';

  // The page's help, in its own terms: parameters, a key or a tap.
  var help = {
    intro: 'Quenlixor Julia animates a Julia set in this page. Its parameters follow ' +
           'the page\u2019s address, joined by &, for example:',
    example: '?scale=2&fps=60&frame=1000',
    parameters: [
      ['scale=N', 'Shows every pixel of the picture as an N\u00d7N block, N from 1 to 8 ' +
                  '(default 1). Lowered where the picture would not fit on the screen.'],
      ['fps=N', 'At most N frames a second, N from 1 to 1000. Without it, one frame ' +
                'per refresh of the screen.'],
      ['fps=max', 'As many frames a second as the page can show. It flashes: ' + flashes],
      ['frame=N', 'Starts at frame N of the path, N from 0 to 2147483647 (default 1).'],
      ['simd=none', 'Uses the module without WebAssembly SIMD.'],
      ['version', 'Shows the version, the renderer kernel and the converter path.'],
      ['help', 'Shows this text.']
    ],
    end: 'A key, or a tap on the picture, ends the animation. The line under it then ' +
         'offers a link that goes on from the next frame. Full screen shows the picture ' +
         'as large as it fits (or at scale=N, where that fits); Esc leaves it. Where the ' +
         'system asks for reduced motion, the animation waits for its start button.'
  };

  // The smallest module that uses a SIMD128 instruction (i8x16.splat):
  // WebAssembly.validate accepts it only where SIMD is supported.
  var simdProbe = [0, 97, 115, 109, 1, 0, 0, 0, 1, 5, 1, 96, 0, 1, 123, 3, 2, 1, 0,
                   10, 8, 1, 6, 0, 65, 0, 253, 15, 11];

  // Ending the program throws emscripten's ExitStatus out of the callback
  // that resumed it; that is how it ends, not a fault.
  window.addEventListener('error', function (event) {
    if (event.error && event.error.name === 'ExitStatus') event.preventDefault();
  });

  function element(id) { return document.getElementById(id); }

  // Full screen, standard or (older Safari) prefixed.
  function fullScreenElement() {
    return document.fullscreenElement || document.webkitFullscreenElement || null;
  }

  function fullScreenOffered() {
    return !!(document.fullscreenEnabled || document.webkitFullscreenEnabled);
  }

  function goFullScreen(stage) {
    if (stage.requestFullscreen) {
      stage.requestFullscreen().catch(function () {});
    } else if (stage.webkitRequestFullscreen) {
      stage.webkitRequestFullscreen();
    }
  }

  // Sets a line's text (the lines under the picture take from its room).
  function setLine(id, text) {
    if (element(id).textContent === text) return;
    element(id).textContent = text;
    linesChanged();
  }

  function say(text) { setLine('status', text); }

  function setState(state, status) {
    var root = document.documentElement;
    if (status !== undefined) root.setAttribute('data-exit-status', String(status));
    root.setAttribute('data-state', state);
  }

  function decode(text) {
    return decodeURIComponent(text.replace(/\+/g, ' '));
  }

  // The query's parameters in order, each {name, value, text}; value null
  // for a name without '=' (?help); text as the URL spells it.
  function parameters(search) {
    var list = [];
    var parts = search.replace(/^\?/, '').split('&');
    for (var i = 0; i < parts.length; ++i) {
      if (parts[i] === '') continue;
      var equals = parts[i].indexOf('=');
      if (equals < 0) {
        list.push({name: decode(parts[i]), value: null, text: parts[i]});
      } else {
        list.push({name: decode(parts[i].slice(0, equals)),
                   value: decode(parts[i].slice(equals + 1)), text: parts[i]});
      }
    }
    return list;
  }

  // What the page makes of its parameters: the program's argv, the pace,
  // whether to use the module without SIMD (simd=none), or a problem of the
  // page's own parameters.
  // fps=max is the program's --fps max (as fast as it can, never held) and
  // the display's pace "max" instead of one frame per refresh. So the page
  // itself says when fps (or its own simd) is given twice.
  function reading(list) {
    var result = {argv: [], pace: 'refresh', simd: null, problem: null};
    var given = {fps: false, simd: false};
    for (var i = 0; i < list.length; ++i) {
      var p = list[i];
      if (p.name === 'fps' || p.name === 'simd') {
        if (given[p.name]) {
          result.problem = p.name + ' is given twice';
          return result;
        }
        given[p.name] = true;
      }
      if (p.name === 'simd') {
        if (p.value !== 'none') {
          result.problem = 'simd takes one value, none';
          return result;
        }
        result.simd = p.value;
        continue;
      }
      if (p.name === 'fps' && p.value === 'max') {
        result.pace = 'max';
      }
      result.argv.push('--' + p.name + (p.value === null ? '' : '=' + p.value));
    }
    return result;
  }

  // The page's address with the same parameters, in the same order and
  // spelling, but frame=`next` (in place of the frame given, else last).
  function continuing(list, next) {
    var parts = [];
    var placed = false;
    for (var i = 0; i < list.length; ++i) {
      if (list[i].name !== 'frame') {
        parts.push(list[i].text);
      } else if (!placed) {
        parts.push('frame=' + next);
        placed = true;
      }
    }
    if (!placed) parts.push('frame=' + next);
    return window.location.href.split(/[?#]/)[0] + '?' + parts.join('&');
  }

  function base64Bytes(text) {
    var binary = atob(text);
    var bytes = new Uint8Array(binary.length);
    for (var i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
    return bytes;
  }

  // The room the picture has: the viewport less the lines under it, so that
  // the whole page stays on the screen, but at least half the viewport (the
  // line that says the animation has ended aside: the last frame keeps its
  // size, and that line may need a scroll in a short window); in
  // full screen the whole screen, and there, unless ?scale was given, the
  // largest k that fits. The display asks every frame; it is measured again
  // only after a resize, a change of full screen or a change of the lines (at
  // fps=max a measure would cost about 2% a frame).
  var roomKnown = null;
  var scaleGiven = false;

  // The run on the canvas (its module's options), once it has one.
  var canvasRun = null;
  var refitting = false;

  // Once the picture is shown, the display refits it at once (not at the
  // next frame, which may be a while at fps=1, or never: waiting for the
  // start, after the end).
  function linesChanged() {
    roomKnown = null;
    if (!refitting && canvasRun !== null && canvasRun.refit) {
      refitting = true;
      canvasRun.refit();
      refitting = false;
    }
  }

  window.addEventListener('resize', linesChanged);
  document.addEventListener('fullscreenchange', linesChanged);
  document.addEventListener('webkitfullscreenchange', linesChanged);

  function room() {
    if (roomKnown !== null) return roomKnown;
    var stage = element('stage');
    if (fullScreenElement() === stage) {
      roomKnown = {width: stage.clientWidth, height: stage.clientHeight, largest: !scaleGiven};
      return roomKnown;
    }
    var view = document.documentElement;
    var below = 0;
    var lines = ['warning', 'fit', 'status', 'bar'];
    var ended = document.documentElement.getAttribute('data-state') === 'ended';
    for (var i = 0; i < lines.length; ++i) {
      if (ended && lines[i] === 'status') continue;
      var line = element(lines[i]);
      if (line.offsetParent === null) continue;
      var style = window.getComputedStyle(line);
      below += line.offsetHeight + parseFloat(style.marginTop) + parseFloat(style.marginBottom);
    }
    roomKnown = {width: view.clientWidth,
                 height: Math.max(view.clientHeight - below, view.clientHeight / 2)};
    return roomKnown;
  }

  // A number as people write it: at most two decimals, no trailing zeros.
  function plain(number) {
    return String(Math.round(number * 100) / 100);
  }

  // The line under the picture, when the display lowered the scale to fit
  // the window (full screen hides the lines).
  function showFit(fit) {
    if (fullScreenElement() !== null) return;
    var lowered = fit.block < fit.wanted || fit.smooth;
    setLine('fit', !lowered ? '' :
      'Scale ' + fit.scale + ' lowered to ' + plain(fit.shown) + ' to fit the screen' +
      (fit.smooth ? ' (smoothed).' :
       ' (every pixel ' + fit.block + '\u00d7' + fit.block + ' device pixels).'));
  }

  // Runs the program once with `argv` on the compiled `module`; calls
  // done(status, output, errors, options) when it ends.
  function runProgram(factory, module, argv, settings, done) {
    var output = [];
    var errors = [];
    var options = {
      arguments: argv,
      canvas: settings.canvas || null,
      pace: settings.pace || 'refresh',
      room: room,
      onFit: showFit,
      waitForStart: settings.waitForStart || null,
      onOpen: settings.onOpen,
      print: function (line) { output.push(line); },
      printErr: function (line) { errors.push(line); },
      instantiateWasm: function (imports, receive) {
        WebAssembly.instantiate(module, imports).then(function (instance) {
          receive(instance, module);
        });
        return {};
      },
      onExit: function (status) {
        done(status, output, errors, options);
      }
    };
    factory(options);
    return options;
  }

  // The page's help under the line above it.
  function showHelp() {
    var usage = element('usage');
    usage.textContent = '';
    var add = function (parent, tag, text) {
      var node = document.createElement(tag);
      node.textContent = text;
      parent.appendChild(node);
      return node;
    };
    add(usage, 'p', help.intro);
    add(usage, 'pre', help.example);
    var list = add(usage, 'dl', '');
    for (var i = 0; i < help.parameters.length; ++i) {
      add(list, 'dt', help.parameters[i][0]);
      add(list, 'dd', help.parameters[i][1]);
    }
    add(usage, 'p', help.end);
  }

  function showPrinted(lines) {
    var usage = element('usage');
    usage.textContent = '';
    var pre = document.createElement('pre');
    pre.textContent = lines.join('\n');
    usage.appendChild(pre);
  }

  // The status line at the end: how it ended and the link that goes on.
  function showEnd(options, list) {
    var next = options._quenlixor_next_frame();
    var status = element('status');
    status.textContent = 'The animation has ended (' +
      (options.pressedBy === 'tap' ? 'the picture was tapped' : 'a key was pressed') + '). ';
    var link = document.createElement('a');
    link.id = 'continue';
    link.href = continuing(list, next);
    link.textContent = 'Continue from frame ' + next;
    status.appendChild(link);
    status.appendChild(document.createTextNode(', or reload the page to start it again.'));
  }

  // Shows a control (a button under the lines) or hides it.
  function offer(id, shown) {
    element(id).hidden = !shown;
    element('controls').hidden = element('start').hidden && element('full').hidden;
    linesChanged();
  }

  // The picture is on the page: it runs, or it waits for its start.
  function opened() {
    document.body.className = 'picture';
    if (waits) return;
    setState('running');
    offerFullScreen();
  }

  // The full-screen control, where the browser has full screen for the
  // picture; once it runs (full screen would hide the start control). Its
  // key (Enter or Space) does not end the animation; once used it lets the
  // focus go, so that the next key does.
  function offerFullScreen() {
    if (!fullScreenOffered()) return;
    var full = element('full');
    full.onclick = function () {
      full.blur();
      goFullScreen(element('stage'));
    };
    offer('full', true);
  }

  // Where the system asks for reduced motion, the animation does not start by
  // itself (asked once, as the page starts).
  var waits = false;

  // The display shows the first frame and calls this: the start control
  // then starts the animation (go).
  function waitForStart(go) {
    var start = element('start');
    start.onclick = function () {
      start.onclick = null;
      offer('start', false);
      say('');
      setState('running');
      offerFullScreen();
      go();
    };
    offer('start', true);
    say('Your system asks for reduced motion, so the animation waits for you to start it.');
    setState('waiting');
    linesChanged();
  }

  // Each variant is {factory: its module script's factory, module: its
  // WebAssembly in base64}.
  function start(simd128, scalar) {
    if (typeof WebAssembly !== 'object' || typeof WebAssembly.instantiate !== 'function') {
      say('This browser has no WebAssembly, which the animation needs.');
      setState('failed');
      return;
    }
    var list = parameters(window.location.search);
    var read = reading(list);
    if (read.problem !== null) {
      say('quenlixor-julia: ' + read.problem);
      showHelp();
      setState('refused', 2);
      return;
    }
    for (var i = 0; i < list.length; ++i) {
      if (list[i].name === 'scale') scaleGiven = true;
    }
    if (read.pace === 'max') setLine('warning', 'fps=max flashes: ' + flashes);
    waits = !!(window.matchMedia && window.matchMedia('(prefers-reduced-motion: reduce)').matches);
    var simd = read.simd !== 'none' && WebAssembly.validate(new Uint8Array(simdProbe));
    var chosen = simd ? simd128 : scalar;
    var factory = chosen.factory;
    WebAssembly.compile(base64Bytes(chosen.module)).then(function (module) {
      runProgram(factory, module, ['--version'], {}, function (status, output) {
        setLine('info', output.join(' \u00b7 '));
      });
      canvasRun = runProgram(factory, module, read.argv,
                 {canvas: element('picture'), pace: read.pace, onOpen: opened,
                  waitForStart: waits ? waitForStart : null},
                 function (status, output, errors, options) {
                   if (options.displayOpened) {
                     showEnd(options, list);
                     setState('ended', status);
                     linesChanged();
                     return;
                   }
                   if (status === 0) {
                     if (read.argv.indexOf('--help') >= 0) {
                       showHelp();
                     } else {
                       showPrinted(output);
                     }
                     setState('printed', status);
                     return;
                   }
                   // The program's one line; under a bad option the page's help
                   // in place of the program's usage.
                   say(errors.length > 0 ? errors[0] : 'The animation ended with status ' + status);
                   if (status === 2) {
                     showHelp();
                     setState('refused', status);
                   } else {
                     if (errors.length > 1) showPrinted(errors.slice(1));
                     setState('failed', status);
                   }
                 });
    }, function (error) {
      say('The browser could not compile the animation: ' + error);
      setState('failed');
    });
  }

  return {start: start, parameters: parameters, reading: reading, continuing: continuing};
})();
