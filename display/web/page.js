// The page around the program: turns the URL's query parameters into the
// program's command line, picks the module this browser runs (WebAssembly
// SIMD or scalar), shows what `--version` prints under the picture, and
// shows what the program prints and how it ended.
//
// Plain ES5, so that a browser too old for WebAssembly still runs it far
// enough to say so.
var quenlixorPage = (function () {
  'use strict';

  var pageNote =
    'On this page the options are URL parameters: ?scale=3&fps=60&frame=1000 ' +
    '(?help shows this text). Without fps the animation shows one frame per display ' +
    'refresh; fps=max renders as fast as the page may run; simd=none uses the module ' +
    'without WebAssembly SIMD.\n';

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

  // The program's run on the canvas, for what drives the page from outside
  // (scripts/run): {phase: 'starting'}, {phase: 'running'} once its display
  // is open, or {phase: 'ended', status, output, errors} with its exit
  // status and the lines it printed (a problem of the page's own parameters
  // ends it with status 2, the program's status for a bad option).
  var mainRun = {options: null, ended: null};
  function state() {
    if (mainRun.ended !== null) return mainRun.ended;
    return {phase: mainRun.options !== null && mainRun.options.displayOpened ? 'running' : 'starting'};
  }
  function ended(status, output, errors) {
    mainRun.ended = {phase: 'ended', status: status, output: output, errors: errors};
  }

  function say(text) { element('status').textContent = text; }

  function decode(text) {
    return decodeURIComponent(text.replace(/\+/g, ' '));
  }

  // The query's parameters in order, each {name, value}; value null for a
  // name without '=' (?help).
  function parameters(search) {
    var list = [];
    var parts = search.replace(/^\?/, '').split('&');
    for (var i = 0; i < parts.length; ++i) {
      if (parts[i] === '') continue;
      var equals = parts[i].indexOf('=');
      if (equals < 0) {
        list.push({name: decode(parts[i]), value: null});
      } else {
        list.push({name: decode(parts[i].slice(0, equals)),
                   value: decode(parts[i].slice(equals + 1))});
      }
    }
    return list;
  }

  // What the page makes of its parameters: the program's argv, the pace,
  // the QUENLIXOR_SIMD setting, or a problem of the page's own parameters.
  // A lone fps=max is the page's: no --fps (the program's "as fast as it
  // can") and the display's pace "max" instead of one frame per refresh.
  function reading(list) {
    var result = {argv: [], pace: 'refresh', simd: null, problem: null};
    var fpsCount = 0;
    for (var i = 0; i < list.length; ++i) {
      if (list[i].name === 'fps') ++fpsCount;
    }
    for (var j = 0; j < list.length; ++j) {
      var p = list[j];
      if (p.name === 'simd') {
        if (result.simd !== null) {
          result.problem = 'simd is given twice';
          return result;
        }
        result.simd = p.value === null ? '' : p.value;
        continue;
      }
      if (p.name === 'fps' && fpsCount === 1 && p.value === 'max') {
        result.pace = 'max';
        continue;
      }
      result.argv.push('--' + p.name + (p.value === null ? '' : '=' + p.value));
    }
    return result;
  }

  function base64Bytes(text) {
    var binary = atob(text);
    var bytes = new Uint8Array(binary.length);
    for (var i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
    return bytes;
  }

  // Runs the program once with `argv` on the compiled `module`; calls
  // done(status, output, errors) when it ends.
  function runProgram(factory, module, argv, settings, done) {
    var output = [];
    var errors = [];
    var options = {
      arguments: argv,
      canvas: settings.canvas || null,
      pace: settings.pace || 'refresh',
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
    // The run on the canvas is the program's own; the others only ask it.
    if (settings.canvas) mainRun.options = options;
    factory(options);
  }

  function showUsage(lines) {
    element('usage').textContent = lines.join('\n') + '\n\n' + pageNote;
  }

  // Each variant is {factory: its module script's factory, module: its
  // WebAssembly in base64}.
  function start(simd128, scalar) {
    if (typeof WebAssembly !== 'object' || typeof WebAssembly.instantiate !== 'function') {
      say('This browser has no WebAssembly, which the animation needs.');
      ended(1, [], ['This browser has no WebAssembly, which the animation needs.']);
      return;
    }
    var read = reading(parameters(window.location.search));
    var simd = read.simd !== 'none' && WebAssembly.validate(new Uint8Array(simdProbe));
    var chosen = simd ? simd128 : scalar;
    var factory = chosen.factory;
    WebAssembly.compile(base64Bytes(chosen.module)).then(function (module) {
      if (read.problem !== null) {
        runProgram(factory, module, ['--help'], {}, function (status, output) {
          say('quenlixor-julia: ' + read.problem);
          showUsage(output);
          ended(2, [], ['quenlixor-julia: ' + read.problem].concat(output));
        });
        return;
      }
      runProgram(factory, module, ['--version'], {simd: read.simd}, function (status, output) {
        element('info').textContent = output.join(' \u00b7 ');
      });
      runProgram(factory, module, read.argv,
                 {canvas: element('picture'), pace: read.pace, simd: read.simd},
                 function (status, output, errors, options) {
                   ended(status, output, errors);
                   if (options.displayOpened) {
                     say('The animation has ended (a key was pressed). ' +
                         'Reload the page to start it again.');
                     return;
                   }
                   if (output.length > 0) showUsage(output);
                   if (errors.length > 0) {
                     say(errors[0]);
                     if (errors.length > 1) showUsage(errors.slice(1));
                   }
                 });
    }, function (error) {
      say('The browser could not compile the animation: ' + error);
      ended(1, [], ['The browser could not compile the animation: ' + error]);
    });
  }

  return {start: start, parameters: parameters, reading: reading, state: state};
})();
