#pragma once

// The GL 1.1 subset the show draws with in the browser, over WebGL 1.
// Called once, right after the WebGL context is made current: builds the
// shader and the streaming buffer. False (with a message on the console)
// when the context cannot run them.
bool webglStart();
// Called with the context current just before it is destroyed: deletes
// its lists, textures, shader and buffer and puts the subset's state back
// to its start, so that a run in a new context starts as the first did.
void webglStop();
