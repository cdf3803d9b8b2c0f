// Test peers for the link tests: a connected loopback TCP pair, and the peer end's own
// exact reads and writes, written with plain Winsock so that they do not share the
// program's byte pipe.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <string>

// A connected pair over 127.0.0.1: *pProgram is the end the program's pipe will use (given the
// options of every data socket), *pPeer the test's end (blocking). 1 on success.
int MakeLoopbackPair(SOCKET* pProgram, SOCKET* pPeer);

// Sends all bytes on the peer's end; 1 when all went.
int PeerSend(SOCKET s, const std::string& bytes);
// Reads exactly n bytes within ms milliseconds into *pOut; returns how many arrived.
int PeerRecv(SOCKET s, int n, int ms, std::string* pOut);
// 1 when nothing at all arrives within ms milliseconds.
int PeerSilent(SOCKET s, int ms);

// The bytes of a hex text such as "61 FF 61 11".
std::string Hex(const char* pszHex);
// Milliseconds elapsed since a mark taken with QueryPerformanceCounter.
double MsSince(const LARGE_INTEGER& t0);
LARGE_INTEGER Now();
