// A test's own end of a transfer link: raw bytes over a TCP socket or the COM2 end of the
// serial cable, and the protocol's messages built byte by byte, independently of the
// program's own packet code (the CRC too is computed bit by bit here).
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class PeerWire {
public:
    PeerWire() = default;
    ~PeerWire() { Close(); }
    PeerWire(const PeerWire&) = delete;
    PeerWire& operator=(const PeerWire&) = delete;

    void AttachSocket(SOCKET s) { m_sock = s; }
    // Opens COM2 with short read time-outs; false when the cable is not there.
    bool OpenSerial(const char* pszPort = "\\\\.\\COM2");
    void Close();

    void Send(const std::string& bytes);
    // Reads until n bytes came or ms milliseconds passed; returns what arrived.
    std::string Recv(size_t n, int ms = 4000);
    // Reads whatever arrives until the line has been quiet for msQuiet.
    std::string Drain(int msQuiet = 300);
    SOCKET Socket() const { return m_sock; }

private:
    int ReadSome(char* p, int n, int ms);
    SOCKET m_sock = INVALID_SOCKET;
    HANDLE m_hPort = nullptr;
};

// A connected loopback pair: *pA from connect, *pB from accept, both blocking.
bool LoopbackPair(SOCKET* pA, SOCKET* pB);
// A non-blocking listener on 127.0.0.1 at *pPort, or at a free port when *pPort is 0, which
// is then stored in *pPort; INVALID_SOCKET when the port is taken.
SOCKET LoopbackListener(uint16_t* pPort);
// A blocking TCP connection to pszAddr:port, without Nagle's delay; INVALID_SOCKET on failure.
SOCKET ConnectTcp(uint16_t port, const char* pszAddr = "127.0.0.1");

// Wire pieces.
std::string Frame(uint8_t code);
std::string Le32(uint32_t v);
uint32_t Crc(const std::string& data);       // the link's CRC: register 0, no inversion
std::string Record(const std::string& path, uint32_t size);   // one 256-byte XFERFILE
std::string RecordUnits(const std::vector<uint16_t>& units, uint32_t size);
std::string ListMsg(const std::vector<std::string>& records);
std::string ListMsgRaw(uint8_t count, uint32_t crc, const std::string& body);
std::string OpenMsg(uint8_t index);
std::string BlockMsg(int32_t k, const std::string& data);
std::string BlockMsgCrc(int32_t k, uint32_t crc, const std::string& data);
// Block k of a file holding data, in blocks of cbBlock bytes.
std::string BlockOf(const std::string& data, size_t k, size_t cbBlock);
// The first 64 bytes in hex; a longer string ends with its length and CRC.
std::string Hex(const std::string& bytes);

// Deterministic file contents of n bytes.
std::string Pattern(size_t n, uint32_t seed);
// The length of block k of a file of size s with blocks of b bytes, and the count of blocks
// (a serial file always ends with a short, possibly empty, block).
size_t BlockLen(size_t k, size_t s, size_t b);
size_t BlockCount(size_t s, size_t b, bool bSerial);

// Plays the sender of a whole batch against the program's receiver and checks every reply
// byte: serial (bare block replies, XC_OK to an open) or socket (indexed block replies,
// XC_ACK to an open). Failures are reported to the running test; returns true when all
// replies were exact.
struct PeerFile {
    std::string path;       // as the sender names it
    std::string data;
};
bool PeerSendBatch(PeerWire& wire, bool bSerial, size_t cbBlock, const std::vector<PeerFile>& files);
