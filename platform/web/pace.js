// The program's own pace: GLUT's idle callback runs back to back, as freeglut runs
// it on the desktop, where emscripten's GLUT re-arms it on a 4 ms timer (at most 250
// frames a second). Each call is a task of its own (a message the window posts to
// itself), so input is taken between calls; and once calls have run for a frame's time (16 ms),
// the next waits for the browser's next animation frame, which a page kept busy with
// tasks would otherwise get a few times a second: the picture and the console are
// shown while the die moves. A hidden page makes no calls (chromium and WebKit give
// it no animation frames, but Firefox gives it one a second), and the throw goes on
// from where it was when the page is shown again.
// The window's own messages, not a MessageChannel's: WebKitGTK delivers those some
// 3,000 a second on this kind of machine, a third of a millisecond each, where it
// delivers the window's 27,000 (chromium and Firefox: 40,000 to 100,000 of either).
//
// Loaded after emscripten's library_glut.js, so this glutIdleFunc is the one linked.
// It relies on GLUT.idleFunc holding the program's callback (0 for none), called
// through makeDynCall('v'), and on the runtime's callUserCallback and ABORT. The
// display callback stays GLUT's, drawn on an animation frame only when posted (at
// the start and on a reshape), as before.
mergeInto(LibraryManager.library, {
  $dicePace__deps: ['$GLUT', '$callUserCallback'],
  $dicePace: {
    listening: false,
    pending: false,  // a call on its way: never more than one
    calls: 0,        // idle calls made, for the page's check and the benchmark
    frameStart: 0,   // when the browser last had an animation frame

    start: function() {
      if (!dicePace.listening) {
        dicePace.listening = true;
        window.addEventListener('message', function(event) {
          if (event.source === window && event.data === 'dicePace') dicePace.step();
        });
        document.addEventListener('visibilitychange', dicePace.schedule);
        Module['idleCalls'] = function() { return dicePace.calls; };
      }
      dicePace.schedule();
    },

    post: function() {
      window.postMessage('dicePace', '*');
    },

    schedule: function() {
      if (dicePace.pending || !GLUT.idleFunc || ABORT || document.hidden) return;
      dicePace.pending = true;
      if (performance.now() - dicePace.frameStart < 16) {
        dicePace.post();
      } else {
        requestAnimationFrame(dicePace.frame);
      }
    },

    frame: function() {
      dicePace.frameStart = performance.now();
      dicePace.post();
    },

    step: function() {
      dicePace.pending = false;
      if (!GLUT.idleFunc || document.hidden) return;
      dicePace.calls++;
      callUserCallback(function() {
        {{{ makeDynCall('v', 'GLUT.idleFunc') }}}();
      });
      dicePace.schedule();
    },
  },

  glutIdleFunc__deps: ['$GLUT', '$dicePace'],
  glutIdleFunc: function(func) {
    GLUT.idleFunc = func;
    dicePace.start();
  },
});
