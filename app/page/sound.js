// The show's sound as it is played: blocks of left and right samples, each
// with its place in the stream, played at that place. A block that comes
// late is cut to what is still ahead; between blocks is silence. The place
// played is the audio context's own frame less the frame the stream opened
// at, so that it is the page's reading of it however late a message comes.
// Loaded
// twice: on the audio thread as the AudioWorklet, and on the page for the
// ScriptProcessorNode used where there is no worklet.
'use strict';

// Fills left and right with the stream from frame `played` on.
function fillFromQueue(queue, played, left, right) {
  left.fill(0);
  right.fill(0);
  const n = left.length;
  let i = 0;
  while (i < n && queue.length > 0) {
    const block = queue[0];
    const offset = played + i - block.first;
    if (offset >= block.left.length) { queue.shift(); continue; }
    if (offset < 0) { i += Math.min(n - i, -offset); continue; }
    const take = Math.min(n - i, block.left.length - offset);
    left.set(block.left.subarray(offset, offset + take), i);
    right.set(block.right.subarray(offset, offset + take), i);
    i += take;
  }
}

if (typeof AudioWorkletProcessor !== 'undefined') {
  class EyesonlySound extends AudioWorkletProcessor {
    constructor() {
      super();
      this.queue = [];
      this.start = 0;  // the context's frame at which the stream opened
      this.port.onmessage = (event) => {
        if (event.data.reset) {
          this.queue = [];
          if (event.data.start !== undefined) this.start = event.data.start;
        } else {
          this.queue.push(event.data);
        }
      };
    }

    process(inputs, outputs) {
      const left = outputs[0][0];
      fillFromQueue(this.queue, currentFrame - this.start, left, outputs[0][1] || left);
      return true;
    }
  }
  registerProcessor('eyesonly-sound', EyesonlySound);
}
