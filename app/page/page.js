// The page around the show: Play, full screen, Play again, messages, and
// the Web Audio output the show's sound device feeds.
'use strict';

const eyesonlyPage = (() => {
  const params = new URLSearchParams(location.search);
  const canvas = document.getElementById('canvas');
  const stage = document.getElementById('stage');
  const panel = document.getElementById('panel');
  const play = document.getElementById('play');
  const messages = document.getElementById('messages');

  let loaded = false;     // the show's code is ready
  let running = false;    // a run of the show is under way
  let starting = false;   // Play was pressed; the sound is being set up
  let audio = null;       // the AudioContext, made on the first Play
  let output = null;      // its AudioWorkletNode, or a ScriptProcessorNode
  let fallbackQueue = null;  // the ScriptProcessorNode's blocks
  let fallbackPlayed = 0;
  let soundStart = 0;     // audio time at which the device opened

  // What a test or a benchmark reads back (address flags keep, grab).
  const keep = params.has('keep');
  const grabs = (params.get('grab') || '').split(',').filter((s) => s !== '').map(Number)
    .filter((s) => Number.isFinite(s) && s >= 0).map((s) => Math.ceil(1000 + s * 1000));
  const kept = { sound: [], frames: [], firstFrameMs: null, framesShown: 0, ended: null, runStarts: [], output: null,
    soundLead: 0 };  // the furthest the mixed stream has reached past what is played, in frames
  let runStarted = false;  // the run's first frame is still to come
  kept.noSound = null;     // why the last Play has no sound, or null
  kept.heapInUse = [];     // the program's heap in use, in bytes, as each run ended
  const standing = [];     // [caption, text] of what the show could not do as asked, said again on every Play

  // The sound worklet's code: sound.js beside the page, or where the page
  // is one file, its own copy of it as a blob.
  function soundWorkletUrl() {
    const inline = document.getElementById('sound-code');
    if (!inline) return 'sound.js';
    return URL.createObjectURL(new Blob([inline.textContent], { type: 'text/javascript' }));
  }

  // -------------------------------------------------------------------------
  // Sound: blocks of interleaved 16-bit stereo with their place in the stream.
  function toChannels(samples) {
    const frames = samples.length / 2;
    const left = new Float32Array(frames);
    const right = new Float32Array(frames);
    for (let i = 0; i < frames; i++) {
      left[i] = samples[2 * i] / 32768;
      right[i] = samples[2 * i + 1] / 32768;
    }
    return { left, right };
  }

  // The Web Audio output, made or woken on Play. setUpSound resolves to null
  // when it plays, or to why there is none: a context that cannot be made,
  // or a set-up (a worklet that never loads) that has not settled within
  // soundWaitMs (on a machine with no sound output some browsers never
  // settle resume()). An output that failed is dropped, so that the next
  // Play makes a new one; one that is only late is kept, and the next Play
  // uses it once it plays.
  const soundWaitMs = 1000;
  let soundStep = '';       // what the set-up waits for, for the message
  let soundMade = null;     // makeSound's promise, while its output may still come
  let soundLive = false;    // the output plays: the show's sound device may open

  async function makeSound() {
    const Context = window.AudioContext || window.webkitAudioContext;
    if (!Context) throw new Error('this browser has no Web Audio');
    soundStep = 'the sound output';
    audio = new Context({ sampleRate: 44100 });
    // A worklet the browser refuses (chromium's, for a page opened from
    // disk) leaves the ScriptProcessorNode, as where there is none.
    soundStep = 'the sound worklet';
    const worklet = audio.audioWorklet && window.isSecureContext
      && await audio.audioWorklet.addModule(soundWorkletUrl()).then(() => true, () => false);
    if (worklet) {
      output = new AudioWorkletNode(audio, 'eyesonly-sound', { numberOfInputs: 0, outputChannelCount: [2] });
      kept.output = 'AudioWorkletNode';
    } else {
      fallbackQueue = [];
      output = audio.createScriptProcessor(2048, 0, 2);
      kept.output = 'ScriptProcessorNode';
      output.onaudioprocess = (event) => {
        const out = event.outputBuffer;
        fillFromQueue(fallbackQueue, fallbackPlayed, out.getChannelData(0), out.getChannelData(1));
        fallbackPlayed += out.length;
      };
    }
    output.connect(audio.destination);
  }

  function dropSound() {
    if (audio) audio.close().catch(() => {});
    audio = null;
    output = null;
    fallbackQueue = null;
    soundMade = null;
    kept.output = null;
  }

  function soundReady() {
    if (!soundMade) soundMade = makeSound();
    return soundMade.then(() => {
      soundStep = 'the sound output';
      return audio.resume();
    });
  }

  async function setUpSound() {
    let timer;
    let lateness = null;
    const late = new Promise((_, fail) => {
      timer = setTimeout(() => fail(lateness = new Error(soundStep + ' did not start within a second')), soundWaitMs);
    });
    soundLive = false;
    try {
      await Promise.race([late, soundReady()]);
      soundLive = true;
      return null;
    } catch (error) {
      if (error === lateness) soundMade.catch(dropSound);
      else dropSound();
      return (error && error.message) || String(error);
    } finally {
      clearTimeout(timer);
    }
  }

  // Where the browser lets a page sound without a gesture, the output is
  // made while the show loads: some browsers take over a second to open
  // their first one.
  if (navigator.getAutoplayPolicy && navigator.getAutoplayPolicy('audiocontext') === 'allowed')
    soundReady().catch(() => {});

  // -------------------------------------------------------------------------
  // Play, Play again, full screen.
  async function start() {
    if (!loaded || running || starting) return;
    starting = true;
    play.disabled = true;
    const noSound = await setUpSound();
    kept.noSound = noSound;
    starting = false;
    running = true;
    panel.hidden = true;
    messages.textContent = '';
    for (const [caption, text] of standing) showMessage(caption, text);
    if (noSound) showMessage('Sound', 'no sound, the show plays silently: ' + noSound);
    runStarted = true;
    Module._eyesonlyPlay();
  }

  function toggleFullscreen() {
    if (document.fullscreenElement) document.exitFullscreen();
    else if (stage.requestFullscreen) stage.requestFullscreen().catch(() => {});
  }

  play.addEventListener('click', start);
  canvas.addEventListener('click', start);
  panel.addEventListener('click', (event) => { if (event.target === panel) start(); });
  document.getElementById('fullscreen').addEventListener('click', toggleFullscreen);
  document.addEventListener('keydown', (event) => {
    if (event.ctrlKey || event.altKey || event.metaKey) return;
    if (event.key === 'f' || event.key === 'F') {
      toggleFullscreen();
      event.preventDefault();
    } else if (!running && event.key !== 'Escape' && event.key !== 'Tab') {
      start();
    }
  });

  function showMessage(caption, text) {
    messages.textContent += caption + ': ' + text.replace(/\n$/, '') + '\n';
  }

  // -------------------------------------------------------------------------
  // What the show calls (app/web.cpp, platform/display/web.cpp,
  // platform/audio/web_device.cpp).
  return {
    kept,
    showMessage,
    notice(caption, text) {
      standing.push([caption, text]);
      showMessage(caption, text);
    },
    ready() {
      loaded = true;
      play.disabled = false;
      play.textContent = 'Play';
    },
    openSound(mixRate, channelCount) {
      if (!soundLive || !output || audio.sampleRate !== mixRate || channelCount !== 2) return false;
      soundStart = audio.currentTime;
      if (fallbackQueue) { fallbackQueue.length = 0; fallbackPlayed = 0; }
      else output.port.postMessage({ reset: true });
      return true;
    },
    closeSound() {
      if (fallbackQueue) fallbackQueue.length = 0;
      else if (output) output.port.postMessage({ reset: true });
    },
    pauseSound(paused) {
      if (audio) (paused ? audio.suspend() : audio.resume()).catch(() => {});
    },
    queueSound(samples, first) {
      if (keep) {
        kept.sound.push(samples.slice());
        kept.soundLead = Math.max(kept.soundLead, first + samples.length / 2 - this.playedFrames());
      }
      const block = toChannels(samples);
      block.first = first;
      if (fallbackQueue) fallbackQueue.push(block);
      else output.port.postMessage(block, [block.left.buffer, block.right.buffer]);
    },
    playedFrames() {
      return audio ? Math.max(0, Math.floor((audio.currentTime - soundStart) * audio.sampleRate)) : 0;
    },
    frameShown(clockMs) {
      if (kept.firstFrameMs === null) kept.firstFrameMs = performance.now();
      kept.framesShown++;
      if (runStarted) { kept.runStarts.push(clockMs); runStarted = false; }
      const due = grabs.findIndex((at) => clockMs >= at);
      if (due < 0) return false;
      grabs.splice(0, due + 1);
      return true;
    },
    keepFrame(pixels, width, height, clockMs) {
      kept.frames.push({ clockMs, width, height, pixels });
    },
    showEnded(exitCode, escaped, heapBytes) {
      running = false;
      kept.heapInUse.push(heapBytes);
      kept.ended = { exitCode, escaped };
      play.textContent = 'Play again';
      play.disabled = false;
      panel.hidden = false;
      play.focus();
    },
  };
})();

var Module = {
  canvas: document.getElementById('canvas'),
  print: (text) => console.log(text),
  printErr: (text) => eyesonlyPage.showMessage('eyesonly', text),
};
