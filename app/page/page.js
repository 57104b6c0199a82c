// The page around the show: the download, Play, the controls over the
// picture, full screen, Play again, messages, and the Web Audio output the
// show's sound device feeds; the media keys, picture-in-picture and the
// service worker that keeps the page for a visit with no network.
//
// Sections:
//   1. Sound
//   2. Play, Play again, full screen
//   3. A moment in the address (#t=)
//   4. The controls
//   5. The download
//   6. Media keys, picture-in-picture, offline
//   7. What the show calls
'use strict';

const eyesonlyPage = (() => {
  const params = new URLSearchParams(location.search);
  const canvas = document.getElementById('canvas');
  const stage = document.getElementById('stage');
  const panel = document.getElementById('panel');
  const play = document.getElementById('play');
  const messages = document.getElementById('messages');
  const loadFailure = document.getElementById('load-failure');
  const controls = document.getElementById('controls');
  const position = document.getElementById('position');
  const positionDone = document.getElementById('position-done');
  const time = document.getElementById('time');
  const link = document.getElementById('link');
  const fullscreenButton = document.getElementById('fullscreen');
  const playerButtons = ['pause', 'back', 'forward', 'restart', 'mute'].map((id) => document.getElementById(id));
  const showName = '.. for your eyes only ..';

  // The build's hash, where the page is served with its files at versioned
  // addresses (NAME?v=HASH, cached for ever); null in the one-file page.
  const build = document.querySelector('meta[name="eyesonly-build"]')?.content ?? null;
  const versioned = (name) => (build ? `${name}?v=${build}` : name);

  let loaded = false;     // the show's code is ready
  // Hz: the rate the program mixes at, taken to make the sound output
  // while the program downloads; the program's own rules once it is ready.
  let mixRate = 44100;
  let controlsAct = false;  // the player takes the controls (the real clock)
  let running = false;    // a run of the show is under way
  let starting = false;   // Play was pressed; the sound is being set up
  let audio = null;       // the AudioContext, made on the first Play
  let output = null;      // its AudioWorkletNode, or a ScriptProcessorNode
  let fallbackQueue = null;  // the ScriptProcessorNode's blocks
  let soundStart = 0;     // audio time at which the device opened

  // What a test or a benchmark reads back (address flags keep, grab). The
  // page and the program also mark their steps to the first frame on the
  // performance timeline ("eyesonly: ..."), for bench/web.mjs.
  const keep = params.has('keep');
  const grabSeconds = (params.get('grab') || '').split(',').filter((s) => s !== '').map(Number)
    .filter((s) => Number.isFinite(s) && s >= 0);
  let grabs = null;  // the show's clock readings of those seconds, once the program is there
  const kept = { sound: [], frames: [], firstFrameMs: null, framesShown: 0, ended: null, runStarts: [], output: null,
    soundLead: 0 };  // the furthest the mixed stream has reached past what is played, in frames
  let runStarted = false;  // the run's first frame is still to come
  kept.noSound = null;     // why the last Play has no sound, or null
  kept.heapInUse = [];     // the program's heap in use, in bytes, as each run ended
  kept.soundFirsts = [];   // each kept block's place in the stream
  const standing = [];     // [caption, text] of what the show could not do as asked, said again on every Play

  // The sound worklet's code: sound.js beside the page, or where the page
  // is one file, its own copy of it as a blob.
  function soundWorkletUrl() {
    const inline = document.getElementById('sound-code');
    if (!inline) return versioned('sound.js');
    return URL.createObjectURL(new Blob([inline.textContent], { type: 'text/javascript' }));
  }

  // -------------------------------------------------------------------------
  // 1. Sound: blocks of interleaved 16-bit stereo with their place in the stream.
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
    const made = audio = new Context({ sampleRate: mixRate });
    // A worklet the browser refuses (chromium's, for a page opened from
    // disk) leaves the ScriptProcessorNode, as where there is none.
    soundStep = 'the sound worklet';
    const worklet = audio.audioWorklet && window.isSecureContext
      && await audio.audioWorklet.addModule(soundWorkletUrl()).then(() => true, () => false);
    if (audio !== made) throw new Error('the sound output was dropped while it was made');
    if (worklet) {
      output = new AudioWorkletNode(audio, 'eyesonly-sound', { numberOfInputs: 0, outputChannelCount: [2] });
      kept.output = 'AudioWorkletNode';
    } else {
      fallbackQueue = [];
      output = audio.createScriptProcessor(2048, 0, 2);
      kept.output = 'ScriptProcessorNode';
      output.onaudioprocess = (event) => {
        const out = event.outputBuffer;
        fillFromQueue(fallbackQueue, Math.round((event.playbackTime - soundStart) * audio.sampleRate),
                      out.getChannelData(0), out.getChannelData(1));
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
    // Made ahead of Play and playing already: nothing to wait for.
    if (output && audio.state === 'running') {
      soundLive = true;
      return null;
    }
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

  // The output is made while the program downloads, before Play: some
  // browsers take over a second to open their first one, and making it
  // (its worklet fetched and compiled) is most of the way from Play to the
  // first frame. Where the browser lets a page sound without a gesture it
  // plays at once; where it does not say (chromium has no
  // getAutoplayPolicy), it is made and waits, suspended, for Play to
  // resume it; where it says no, Play makes it.
  function soundAhead() {
    const policy = navigator.getAutoplayPolicy ? navigator.getAutoplayPolicy('audiocontext') : 'unknown';
    if (policy === 'allowed') soundReady().catch(() => {});
    else if (policy === 'unknown' && !soundMade) (soundMade = makeSound()).catch(() => {});
  }

  // -------------------------------------------------------------------------
  // 2. Play, Play again, full screen.
  async function start() {
    if (!loaded || running || starting) return;
    performance.mark('eyesonly: play');
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
    performance.mark('eyesonly: sound set up');
    Module._eyesonlyPlay(startMoment('it plays from the start') ?? 0);
    if (running) showControls();  // a start the show refuses has ended the run
  }

  function toggleFullscreen() {
    if (document.fullscreenElement) document.exitFullscreen();
    else if (stage.requestFullscreen) stage.requestFullscreen().catch(() => {});
  }

  // A download that failed is tried again; a program that could not start
  // (its WebAssembly cut short or damaged) is loaded again with the page.
  play.addEventListener('click', () => {
    if (download.failed === 'start') location.reload();
    else if (download.failed) loadShow();
    else start();
  });
  canvas.addEventListener('click', start);
  panel.addEventListener('click', (event) => { if (event.target === panel) start(); });
  // Any key plays, but for those that move (the focus, or the show: a
  // press that carried the show past its end does not start it again) and
  // a key held down.
  const keysThatMove = new Set(['Escape', 'Tab', 'ArrowLeft', 'ArrowRight', 'ArrowUp', 'ArrowDown', 'Home', 'End',
                                'PageUp', 'PageDown', '[', ']']);
  document.addEventListener('keydown', (event) => {
    if (event.ctrlKey || event.altKey || event.metaKey) return;
    if (event.key === 'f' || event.key === 'F') {
      toggleFullscreen();
      event.preventDefault();
    } else if (running && (event.key === 'p' || event.key === 'P')) {
      togglePictureInPicture();
      event.preventDefault();
    } else if (running && (event.key === 'c' || event.key === 'C')) {
      toggleCaptions();
    } else if (running && (event.key === '[' || event.key === ']')) {
      goToChapter(event.key === ']' ? 1 : -1);
    } else if (!running && !event.repeat && !keysThatMove.has(event.key)) {
      start();
    }
  });

  function showMessage(caption, text) {
    messages.textContent += caption + ': ' + text.replace(/\n$/, '') + '\n';
  }

  // -------------------------------------------------------------------------
  // 3. A moment of the show in the address, as media fragments write it:
  // #t=75, #t=75.5, #t=1:15, #t=1:02:03, each with or without "npt:".
  // The run starts there as --from starts the program.
  function parseMoment(value) {
    const time = value.replace(/^npt:/, '');
    let match = time.match(/^(\d+(?:\.\d*)?)$/);
    if (match) return Number(match[1]);
    match = time.match(/^(?:(\d+):([0-5]?\d):|(\d+):)([0-5]\d(?:\.\d*)?)$/);
    if (!match) return null;
    const [, hours, minutesAfterHours, minutes, seconds] = match;
    return hours !== undefined ? Number(hours) * 3600 + Number(minutesAfterHours) * 60 + Number(seconds)
                               : Number(minutes) * 60 + Number(seconds);
  }

  // The address's start moment in seconds, or null without one; a bad one
  // is refused with a line on the page that ends with what happens instead.
  function startMoment(instead) {
    const fragment = location.hash.slice(1).split('&').find((part) => part.startsWith('t='));
    if (fragment === undefined) return null;
    let value = fragment.slice(2);
    try { value = decodeURIComponent(value); } catch { /* kept as written */ }
    const seconds = value.includes(',') ? null : parseMoment(value);
    if (seconds !== null && Number.isFinite(seconds)) return seconds;
    showMessage('Address', `#t=${value} is not a moment of the show (write #t=75 or #t=1:15); ${instead}`);
    return null;
  }

  // -------------------------------------------------------------------------
  // 4. The controls: buttons for the player's keys, the position bar, the
  // link to this moment and full screen. They appear on a movement, a tap
  // or a key and fade after a while of stillness while the show plays.
  // The show's length at 60 frames a second, as the program gives it when it
  // is ready; its last scene's end moves with the frame rate (149 s at 10,
  // 145 s at 1000).
  let showLengthSeconds = 0;
  const fadeAfterMs = 2500;
  const keyCodes = { pause: 32, mute: 77, back: 37, forward: 39, restart: 36 };  // Space, M, Left, Right, Home
  let fadeTimer = null;
  let pointerOnControls = false;
  let dragSecond = null;   // where a drag on the position bar is, until it is let go
  let view = { second: 0, paused: false, muted: false, chapter: 0 };

  function clock(seconds) {
    const whole = Math.floor(seconds);
    return `${Math.floor(whole / 60)}:${String(whole % 60).padStart(2, '0')}`;
  }
  // The same in words, as a screen reader says them well: "2 minutes 26 seconds".
  function spoken(seconds) {
    const whole = Math.floor(seconds);
    const unit = (n, word) => `${n} ${word}${n === 1 ? '' : 's'}`;
    const minutes = Math.floor(whole / 60);
    if (minutes === 0) return unit(whole % 60, 'second');
    return whole % 60 === 0 ? unit(minutes, 'minute') : `${unit(minutes, 'minute')} ${unit(whole % 60, 'second')}`;
  }

  // A button's label says what a press does now; its face shows the same.
  const faces = {
    Pause: '<path d="M4 3h4v14H4zM12 3h4v14h-4z"/>',
    Play: '<path d="M5 3l12 7-12 7z"/>',
    Mute: '<path d="M2 7h4l5-4v14l-5-4H2zM13 6.5a5 5 0 0 1 0 7l1.4 1.4a7 7 0 0 0 0-9.8z"/>',
    Unmute: '<path d="M2 7h4l5-4v14l-5-4H2zM13 7.4l1.4-1.4 2.1 2.1 2.1-2.1 1.4 1.4-2.1 2.1 2.1 2.1-1.4 1.4-2.1-2.1-2.1 2.1-1.4-1.4 2.1-2.1z"/>',
  };
  function setLabel(button, label) {
    if (button.getAttribute('aria-label') === label && button.firstChild) return;
    button.setAttribute('aria-label', label);
    if (faces[label]) button.innerHTML = `<svg viewBox="0 0 20 20">${faces[label]}</svg>`;
  }

  function showControls() {
    controls.hidden = false;
    for (const button of playerButtons) button.disabled = !controlsAct;
    position.setAttribute('aria-disabled', String(!controlsAct));
    link.textContent = '';
    view = { second: 0, paused: false, muted: false, chapter: 0 };
    positionShown = null;
    chapterMenu.disabled = !controlsAct;
    chapterShown = null;
    words.textContent = '';
    wake();
    requestAnimationFrame(followPlayer);
  }

  function wake() {
    if (!running) return;
    controls.classList.remove('idle');
    stage.classList.remove('idle');
    clearTimeout(fadeTimer);
    fadeTimer = setTimeout(fade, fadeAfterMs);
  }

  // Not while paused, nor while the pointer, a drag or the keyboard's focus
  // is on the bar.
  function fade() {
    if (!running || view.paused || pointerOnControls || dragSecond !== null) return;
    if (controls.querySelector(':focus-visible')) return;
    controls.classList.add('idle');
    stage.classList.add('idle');
  }

  // Once an animation frame while a run is under way: the bar follows the
  // player's state.
  function followPlayer() {
    if (!running) return;
    const second = Module._eyesonlySecond();
    if (second >= 0) {
      const flags = Module._eyesonlyPlayerState();
      const paused = (flags & 1) !== 0;
      if (view.paused && !paused) wake();  // fades again from now
      view = { second, paused, muted: (flags & 2) !== 0, chapter: Module._eyesonlyChapter() };
    }
    showChapter(view.chapter);
    showPosition(dragSecond ?? view.second);
    setLabel(playerButtons[0], view.paused ? 'Play' : 'Pause');
    setLabel(playerButtons[4], view.muted ? 'Unmute' : 'Mute');
    if (controlsAct) followMediaSession(view.second, view.paused);
    requestAnimationFrame(followPlayer);
  }

  // On the fixed-step clock the show may run past its length at 60 frames
  // a second (to 2:29 at 10): the length shown grows with it.
  let positionShown = null;
  function showPosition(second) {
    const length = Math.max(showLengthSeconds, Math.floor(second));
    const shown = Math.floor(second);
    if (positionShown === `${shown}/${length}`) return;
    positionShown = `${shown}/${length}`;
    position.setAttribute('aria-valuenow', String(shown));
    position.setAttribute('aria-valuemax', String(length));
    position.setAttribute('aria-valuetext', `${spoken(shown)} of ${spoken(length)}`);
    positionDone.style.width = `${(100 * shown) / length}%`;
    time.textContent = `${clock(shown)} / ${clock(length)}`;
  }

  // The show's chapters, as the program gives them when it is ready: a mark
  // on the bar where each starts, the current one's name in the chapter
  // menu beside the time, and [ and ] (and the menu) to go to a chapter's
  // first frame as the program's chapter keys do.
  const chapterMenu = document.getElementById('chapter');
  let chapters = [];  // { name, second } in the show's order

  function setUpChapters() {
    chapters = Array.from({ length: Module._eyesonlyChapterCount() }, (_, i) => ({
      name: Module.UTF8ToString(Module._eyesonlyChapterName(i)), second: Module._eyesonlyChapterStartMs(i) / 1000 }));
    for (const [i, chapter] of chapters.entries()) {
      chapterMenu.add(new Option(chapter.name, String(i)));
      if (i === 0) continue;
      const mark = document.createElement('div');
      mark.className = 'chapter-mark';
      mark.style.left = `${(100 * chapter.second) / showLengthSeconds}%`;
      position.insertBefore(mark, preview);
    }
    chapterMenu.hidden = chapters.length === 0;
  }

  let chapterShown = null;
  function showChapter(chapter) {
    if (chapter === chapterShown || !chapters[chapter]) return;
    chapterShown = chapter;
    chapterMenu.value = String(chapter);
    showChapterInSession(chapters[chapter].name);
  }

  // The chapter before or after the one shown (the first's start, in the first).
  function goToChapter(step) {
    const chapter = Math.min(Math.max(view.chapter + step, 0), chapters.length - 1);
    if (controlsAct && chapters.length > 0 && (step < 0 || chapter !== view.chapter)) Module._eyesonlyGoToChapter(chapter);
    wake();
  }
  chapterMenu.addEventListener('change', () => {
    if (controlsAct) Module._eyesonlyGoToChapter(Number(chapterMenu.value));
    wake();
  });
  // The menu's keys are its own (the arrows choose in it), but Escape.
  for (const type of ['keydown', 'keyup'])
    chapterMenu.addEventListener(type, (event) => { if (event.key !== 'Escape') event.stopPropagation(); });

  // The chapter of a second on the bar: the last to start at or before it.
  function chapterAt(second) {
    return chapters.findLast((chapter) => chapter.second <= second) ?? null;
  }

  // The show's words as text: each line as it appears, once, in a polite
  // live region that a screen reader says; hidden, or shown over the
  // picture as captions (the button, or C). A line stays until the next,
  // or until the words are gone ("").
  const words = document.getElementById('words');
  const captionsButton = document.getElementById('captions');
  function showWords(text, showMs) {
    if (!running) return;
    if (text === '') {
      words.textContent = '';
      return;
    }
    const line = document.createElement('p');
    line.textContent = text;
    line.dataset.ms = String(showMs);
    words.append(line);
    while (words.childElementCount > 3) words.firstElementChild.remove();
  }
  function toggleCaptions() {
    const on = captionsButton.getAttribute('aria-pressed') !== 'true';
    captionsButton.setAttribute('aria-pressed', String(on));
    words.classList.toggle('captions', on);
    wake();
  }
  captionsButton.addEventListener('click', toggleCaptions);

  function press(name) {
    if (controlsAct) Module._eyesonlyPress(keyCodes[name]);
    wake();
  }

  function jumpTo(second) {
    if (controlsAct) Module._eyesonlyJumpTo(Math.min(Math.max(second, 0), showLengthSeconds));
    wake();
  }

  for (const button of playerButtons) button.addEventListener('click', () => press(button.id));
  fullscreenButton.addEventListener('click', () => { toggleFullscreen(); wake(); });
  document.addEventListener('fullscreenchange', () => {
    setLabel(fullscreenButton, document.fullscreenElement ? 'Exit full screen' : 'Full screen');
  });

  // A key that works a focused button (Space, Enter) is the button's, not
  // the player's too: down and up both, since a button is pressed by Space
  // when it comes up.
  for (const type of ['keydown', 'keyup']) {
    controls.addEventListener(type, (event) => {
      if (event.target instanceof HTMLButtonElement && (event.key === ' ' || event.key === 'Enter'))
        event.stopPropagation();
    });
  }

  // The position bar: a click or a drag jumps where it is let go; on the
  // focused bar Left, Right and Home are the player's own keys, Up and
  // Down (Page Up, Page Down) move as Right and Left do, and End goes to
  // the end.
  function secondAt(event) {
    const box = position.getBoundingClientRect();
    return Math.min(Math.max((event.clientX - box.left) / box.width, 0), 1) * showLengthSeconds;
  }
  position.addEventListener('pointerdown', (event) => {
    if (!controlsAct || event.button !== 0) return;
    position.setPointerCapture(event.pointerId);
    dragSecond = secondAt(event);
    wake();
  });
  position.addEventListener('pointermove', (event) => {
    if (dragSecond !== null) dragSecond = secondAt(event);
    showPreview(secondAt(event));
  });
  position.addEventListener('pointerup', (event) => {
    if (event.pointerType !== 'mouse') preview.hidden = true;
    if (dragSecond === null) return;
    dragSecond = null;
    jumpTo(secondAt(event));
  });
  position.addEventListener('pointercancel', () => { dragSecond = null; preview.hidden = true; });
  position.addEventListener('pointerenter', loadStills);
  position.addEventListener('pointerleave', () => { if (dragSecond === null) preview.hidden = true; });

  // Over the bar, the still of the moment under the pointer (or the drag)
  // with its time, as video sites show it: the build's stills, one every
  // few seconds in one picture (tools/web/stills.mjs), loaded when the
  // pointer first comes onto the bar. The one-file page has none: the
  // time alone.
  const preview = document.getElementById('preview');
  const previewStill = document.getElementById('preview-still');
  const previewTime = document.getElementById('preview-time');
  const stillsLine = document.querySelector('meta[name="eyesonly-stills"]');
  const stills = stillsLine ? JSON.parse(stillsLine.content) : null;
  let stillsAsked = false;

  function loadStills() {
    if (!stills || stillsAsked) return;
    stillsAsked = true;
    const picture = new Image();
    picture.onload = () => {
      previewStill.style.backgroundImage = `url("${picture.src}")`;
      previewStill.hidden = false;
    };
    picture.onerror = () => { stillsAsked = false; };  // asked again on the next visit to the bar
    picture.src = stills.file;
  }

  // The still nearest a second, of those before the show's end.
  function stillAt(second) {
    const last = Math.max(0, Math.ceil(showLengthSeconds / stills.every) - 1);
    return Math.min(Math.max(Math.round(second / stills.every), 0), last);
  }

  function showPreview(second) {
    if (!controlsAct) return;
    const width = position.getBoundingClientRect().width;
    const half = 80;  // half the still's width: it stays over the bar
    const x = (second / showLengthSeconds) * width;
    preview.style.left = `${Math.min(Math.max(x, half), Math.max(half, width - half))}px`;
    const chapter = chapterAt(second);
    previewTime.textContent = chapter ? `${clock(second)} · ${chapter.name}` : clock(second);
    if (stills) {
      const still = stillAt(second);
      previewStill.dataset.second = String(still * stills.every);
      previewStill.style.backgroundPosition = `${-(still % stills.columns) * stills.width}px `
        + `${-Math.floor(still / stills.columns) * stills.height}px`;
    }
    preview.hidden = false;
  }
  position.addEventListener('keydown', (event) => {
    const towards = { ArrowUp: 'forward', PageUp: 'forward', ArrowDown: 'back', PageDown: 'back' }[event.key];
    if (event.key === 'End') jumpTo(showLengthSeconds);
    else if (towards) press(towards);
    else return;
    event.preventDefault();
    event.stopPropagation();
  });

  // The address of this moment: the page's own with #t= the second shown.
  document.getElementById('copy-link').addEventListener('click', async () => {
    const address = location.href.replace(/#.*$/, '') + '#t=' + Math.floor(view.second);
    wake();
    try {
      await navigator.clipboard.writeText(address);
      link.textContent = 'Copied: ' + address;
    } catch {
      link.textContent = address;  // to copy by hand
    }
  });

  controls.addEventListener('pointerenter', () => { pointerOnControls = true; wake(); });
  controls.addEventListener('pointerleave', () => { pointerOnControls = false; wake(); });
  controls.addEventListener('focusin', wake);
  stage.addEventListener('pointermove', wake);
  stage.addEventListener('pointerdown', wake);  // a tap shows the bar; it does not pause
  document.addEventListener('keydown', wake);

  // A hidden page (another tab in front, a minimised window) holds the show
  // and its sound; shown again, they go on from the same moment.
  // In picture-in-picture the show goes on while the page is hidden, drawn
  // on the browser's timers (a hidden page has no animation frames).
  function followVisibility() {
    if (!loaded) return;
    const inPicture = document.pictureInPictureElement !== null;
    Module._eyesonlyDrawHidden(document.hidden && inPicture ? 1 : 0);
    if (running) Module._eyesonlyHide(document.hidden && !inPicture ? 1 : 0);
  }
  document.addEventListener('visibilitychange', followVisibility);

  // A new moment in the address while the show plays jumps there.
  window.addEventListener('hashchange', () => {
    const second = running && controlsAct ? startMoment('the show goes on') : null;
    if (second !== null) jumpTo(second);
  });

  // -------------------------------------------------------------------------
  // 5. The download: the program, its WebAssembly and its data, fetched here
  // so that Play can show how far it is. The WebAssembly is compiled while it
  // arrives; the program then finds it compiled and the data ready. A file
  // that fails is named, and Play offers to try again (what came whole is
  // kept).
  const download = {
    files: ['eyesonly.wasm', 'eyesonly.data', 'eyesonly.js'].map((name) => ({ name, loaded: 0, total: 0, whole: null })),
    failed: false,
  };

  function showProgress() {
    const { files } = download;
    const known = files.every((file) => file.whole || file.total > 0);
    const loadedBytes = files.reduce((n, file) => n + file.loaded, 0);
    const totalBytes = files.reduce((n, file) => n + (file.whole ? file.loaded : file.total), 0);
    // A compressed answer counts its length before unpacking: held below 100.
    const percent = files.every((file) => file.whole) ? 100 : Math.min(99, Math.floor((100 * loadedBytes) / totalBytes));
    const text = known ? `Loading… ${percent}%` : 'Loading…';
    if (play.textContent !== text) play.textContent = text;  // not a layout for every piece that arrives
  }

  // The WebAssembly is compiled by the browser as it arrives (its bytes
  // count once it is whole); the others are read a piece at a time, each
  // counted as it comes.
  async function fetchFile(file) {
    file.loaded = 0;
    const response = await fetch(versioned(file.name), build ? {} : { cache: 'no-cache' });
    if (!response.ok) throw new Error(`${response.status} ${response.statusText}`.trim());
    file.total = Number(response.headers.get('Content-Length')) || 0;
    if (file.name.endsWith('.wasm')) {
      // Whatever type the server gave it. WebAssembly that came whole but
      // does not compile is kept as its error: the program cannot start.
      const body = new Response(response.body, { headers: { 'Content-Type': 'application/wasm' } });
      file.whole = await WebAssembly.compileStreaming(body).catch((error) => {
        if (error instanceof WebAssembly.CompileError) return error;
        throw error;
      });
      file.loaded = file.total;
    } else {
      const reader = response.body.getReader();
      const pieces = [];
      for (let piece = await reader.read(); !piece.done; piece = await reader.read()) {
        pieces.push(piece.value);
        file.loaded += piece.value.length;
        showProgress();
      }
      const whole = new Uint8Array(file.loaded);
      pieces.reduce((at, piece) => { whole.set(piece, at); return at + piece.length; }, 0);
      file.whole = whole.buffer;
    }
    performance.mark(`eyesonly: ${file.name} whole`);
    showProgress();
  }

  async function loadShow() {
    download.failed = false;
    loadFailure.hidden = true;
    play.disabled = true;
    showProgress();
    const missing = download.files.filter((file) => !file.whole);
    const fetched = Promise.allSettled(missing.map(fetchFile));
    soundAhead();
    const results = await fetched;
    const failures = results.flatMap((result, i) => (result.status === 'rejected'
      ? [`${missing[i].name} (${result.reason instanceof TypeError ? 'no connection' : result.reason.message})`] : []));
    if (failures.length > 0) {
      download.failed = true;
      loadFailure.textContent = `Could not load ${failures.join(', ')}.`;
      loadFailure.hidden = false;
      play.textContent = 'Try again';
      play.disabled = false;
      return;
    }
    const [wasm, data, program] = download.files;
    Module.instantiateWasm = (imports, receive) => {
      const compiled = wasm.whole instanceof Error ? Promise.reject(wasm.whole) : Promise.resolve(wasm.whole);
      compiled.then((module) => WebAssembly.instantiate(module, imports))
        .then((instance) => receive(instance, wasm.whole), (error) => eyesonlyPage.failedToStart(error));
      return {};
    };
    Module.getPreloadedPackage = () => data.whole;
    // The program's text runs as the script is put in the page, with no
    // second load of it.
    const script = document.createElement('script');
    script.textContent = new TextDecoder().decode(program.whole);
    document.body.appendChild(script);
  }

  // -------------------------------------------------------------------------
  // 6. Media keys and the lock screen (the Media Session), picture-in-picture,
  // and the service worker.
  const mediaSession = 'mediaSession' in navigator && typeof MediaMetadata === 'function' ? navigator.mediaSession : null;
  let sessionShown = null;  // { second, at, paused }: what the session was last told

  // The actions a media key, a headset or a lock screen sends, as the
  // controls' own: play and pause, 10 seconds back and forward (or the
  // step it asks), a moment on its own position bar.
  function setUpMediaSession() {
    if (!mediaSession) return;
    mediaSession.metadata = new MediaMetadata({
      title: showName,
      artist: 'eyesonly',
      artwork: build ? [{ src: versioned('icon-192.png'), sizes: '192x192', type: 'image/png' }] : [],
    });
    const seekBy = (step, towards) => (step === undefined || step === 10 ? press(towards)
      : jumpTo(view.second + (towards === 'forward' ? step : -step)));
    const actions = {
      play: () => { if (!running) start(); else if (view.paused) press('pause'); },
      pause: () => { if (running && !view.paused) press('pause'); },
      seekbackward: (details) => seekBy(details && details.seekOffset, 'back'),
      seekforward: (details) => seekBy(details && details.seekOffset, 'forward'),
      seekto: (details) => jumpTo(details.seekTime),
      previoustrack: () => goToChapter(-1),
      nexttrack: () => goToChapter(1),
    };
    for (const [action, handler] of Object.entries(actions)) {
      try {
        mediaSession.setActionHandler(action, handler);
      } catch { /* an action this browser does not offer */ }
    }
  }

  // The chapter shown, as the album the show's name is from.
  function showChapterInSession(name) {
    if (!mediaSession || !mediaSession.metadata) return;
    mediaSession.metadata.album = name;
  }

  // Once an animation frame of a run: the session's position follows the
  // show's clock. It is told anew on a pause, a jump and the show's end
  // (between, the browser counts on from the last position it was told).
  function followMediaSession(second, paused) {
    if (!mediaSession) return;
    mediaSession.playbackState = paused ? 'paused' : 'playing';
    const now = performance.now();
    const counted = sessionShown && sessionShown.second + (sessionShown.paused ? 0 : (now - sessionShown.at) / 1000);
    if (sessionShown && sessionShown.paused === paused && Math.abs(second - counted) < 1) return;
    sessionShown = { second, at: now, paused };
    const duration = Math.max(showLengthSeconds, second);
    try {
      mediaSession.setPositionState({ duration, playbackRate: 1, position: Math.min(Math.max(second, 0), duration) });
    } catch { /* a browser without positions */ }
  }

  function endMediaSession() {
    if (!mediaSession) return;
    mediaSession.playbackState = 'none';
    sessionShown = null;
  }

  // Picture-in-picture: the canvas's stream in a video element, where the
  // browser offers it (the button is shown only there). The music plays
  // on from the page, on the show's clock; leaving it returns to the page.
  const pipButton = document.getElementById('pip');
  const pipOffered = document.pictureInPictureEnabled === true && typeof canvas.captureStream === 'function';
  let pipVideo = null;
  pipButton.hidden = !pipOffered;
  pipButton.addEventListener('click', () => { togglePictureInPicture(); wake(); });

  async function togglePictureInPicture() {
    if (!pipOffered) return;
    try {
      if (document.pictureInPictureElement) {
        await document.exitPictureInPicture();
        return;
      }
      if (!running) return;
      if (!pipVideo) {
        pipVideo = document.createElement('video');
        pipVideo.muted = true;
        pipVideo.playsInline = true;
        pipVideo.srcObject = canvas.captureStream();
        pipVideo.addEventListener('enterpictureinpicture', () => setLabel(pipButton, 'Leave picture in picture'));
        pipVideo.addEventListener('leavepictureinpicture', () => {
          setLabel(pipButton, 'Picture in picture');
          followVisibility();
        });
      }
      await pipVideo.play();
      await pipVideo.requestPictureInPicture();
    } catch (error) {
      showMessage('Picture in picture', (error && error.message) || String(error));
    }
  }

  // The service worker, once the first frame is drawn (its set-up does not
  // delay it), where the page is served with its files versioned: it keeps
  // every file of the build, so that the page plays after one visit with
  // no network.
  function keepForOffline() {
    if (!build || !('serviceWorker' in navigator) || !window.isSecureContext) return;
    navigator.serviceWorker.register('sw.js', { scope: './' }).catch((error) => {
      showMessage('Offline', 'the page cannot be kept for a visit with no network: ' + error.message);
    });
  }

  // -------------------------------------------------------------------------
  // 7. What the show calls (app/web.cpp, platform/display/web.cpp,
  // platform/audio/web_device.cpp).
  return {
    kept,
    showMessage,
    showWords,
    loadShow,
    // Sets the sound output up ahead of Play, where the browser lets a page
    // sound without a gesture: resolves once it plays.
    prepareSound: () => soundReady().then(() => audio.state),
    notice(caption, text) {
      standing.push([caption, text]);
      showMessage(caption, text);
    },
    // The program stopped before it was ready: said, with Try again.
    failedToStart(what) {
      if (loaded) return;
      download.failed = 'start';
      loadFailure.textContent = `Could not start the show: ${String(what).replace(/^Aborted\((.*)\)$/s, '$1')}`;
      loadFailure.hidden = false;
      play.textContent = 'Try again';
      play.disabled = false;
    },
    ready(playerControls, showSeconds, programMixRate) {
      performance.mark('eyesonly: ready');
      loaded = true;
      controlsAct = playerControls;
      showLengthSeconds = showSeconds;
      // An output made at another rate than the program's is made anew.
      if (programMixRate !== mixRate) {
        mixRate = programMixRate;
        if (audio) dropSound();
      }
      position.setAttribute('aria-valuemax', String(showSeconds));
      setUpChapters();
      setUpMediaSession();
      soundAhead();
      play.disabled = false;
      play.textContent = 'Play';
    },
    openSound(mixRate, channelCount) {
      if (!soundLive || !output || audio.sampleRate !== mixRate || channelCount !== 2) return false;
      soundStart = audio.currentTime;
      if (fallbackQueue) fallbackQueue.length = 0;
      else output.port.postMessage({ reset: true, start: Math.round(soundStart * audio.sampleRate) });
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
        kept.soundFirsts.push(first);
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
      if (kept.firstFrameMs === null) {
        kept.firstFrameMs = performance.now();
        performance.mark('eyesonly: first frame');
        setTimeout(keepForOffline, 0);
      }
      kept.framesShown++;
      if (runStarted) { kept.runStarts.push(clockMs); runStarted = false; }
      if (grabs === null) grabs = grabSeconds.map((s) => Module._eyesonlyReadingAt(s) >>> 0);
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
      endMediaSession();
      if (document.pictureInPictureElement) document.exitPictureInPicture().catch(() => {});
      clearTimeout(fadeTimer);
      controls.hidden = true;
      stage.classList.remove('idle');
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
  onShowWords: (text, showMs) => eyesonlyPage.showWords(text, showMs),
  print: (text) => console.log(text),
  printErr: (text) => eyesonlyPage.showMessage('eyesonly', text),
  onAbort: (what) => eyesonlyPage.failedToStart(what),
};

// The one-file page holds the program after this script; the five-file page
// fetches it.
if (typeof eyesonlyOneFile === 'undefined') eyesonlyPage.loadShow();
