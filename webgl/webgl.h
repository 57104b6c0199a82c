#pragma once

// The GL 1.1 subset the show draws with in the browser, over WebGL 1.
// Called once, right after the WebGL context is made current: builds the
// shader and the streaming buffer. False (with a message on the console)
// when the context cannot run them.
bool webglStart();
