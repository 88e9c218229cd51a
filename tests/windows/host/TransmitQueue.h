// The output queue of the test lines that the preloaded library gives a transmitter.
#pragma once

// For a line with a modelled transmitter: true, with Count set to the bytes it has still to
// send; false for every other descriptor.
bool ModelledOutputQueue(int Fd, int& Count);
