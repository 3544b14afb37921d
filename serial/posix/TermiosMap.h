#pragma once
// Translation between the port's line settings and termios, without touching a device.
#include "serial/SerialPort.h"

#include <termios.h>

// A raw 8-bit line: no translation, echo, signals, canonical editing or output processing;
// receiver on, modem control lines ignored. Reads wait for one byte (VMIN 1, VTIME 0), so a
// non-blocking read answers EAGAIN when there is nothing and 0 only at hang-up.
void MakeRawLine(termios& tio);

// Writes data bits, parity, stop bits and flow control of the state into tio (not the rate).
// 0, or EINVAL for data bits outside 5..8 and stop bits that the data size cannot have
// (1.5 only with 5 bits, where the UART's long stop is 1.5 bits; 2 not with 5 bits).
// Parity and stop-bit values outside their tables leave those fields as they are.
int StateToTermios(const SSerialState& state, termios& tio);
// Reads them back (BaudRate untouched).
void TermiosToState(const termios& tio, SSerialState& state);

// Applies a flow-control choice of Open to the state. 0, or ENOTSUP for the DSR and DTR
// handshakes, which termios cannot express. Values outside the table change nothing.
int ApplyFlowControl(CSerialPort::FlowControl flowControl, SSerialState& state);

// The framing and handshake bits a driver must keep for the settings to be in force.
tcflag_t FramingBits(const termios& tio);
