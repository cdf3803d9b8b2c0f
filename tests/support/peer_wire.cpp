// The test peer's raw link and message builders.
#include "peer_wire.h"

#include <cstdio>
#include <cstring>

bool PeerWire::OpenSerial(const char* pszPort)
{
    HANDLE h = CreateFileA(pszPort, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    // 8N1 without flow control: XON/XOFF would take the 0x11 that ends every frame.
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    GetCommState(h, &dcb);
    dcb.BaudRate = CBR_115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fOutX = dcb.fInX = FALSE;
    SetCommState(h, &dcb);
    COMMTIMEOUTS ct = {50, 0, 50, 0, 0};
    SetCommTimeouts(h, &ct);
    PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
    m_hPort = h;
    return true;
}

void PeerWire::Close()
{
    if (m_sock != INVALID_SOCKET)
        closesocket(m_sock);
    if (m_hPort)
        CloseHandle(m_hPort);
    m_sock = INVALID_SOCKET;
    m_hPort = nullptr;
}

void PeerWire::Send(const std::string& bytes)
{
    size_t off = 0;
    while (off < bytes.size()) {
        int n = 0;
        if (m_hPort) {
            DWORD dw = 0;
            WriteFile(m_hPort, bytes.data() + off, (DWORD)(bytes.size() - off), &dw, nullptr);
            n = (int)dw;
        } else {
            n = send(m_sock, bytes.data() + off, (int)(bytes.size() - off), 0);
        }
        if (n <= 0)
            return;
        off += n;
    }
}

// Up to n bytes within about ms milliseconds; 0 when nothing came, -1 when the link is gone.
int PeerWire::ReadSome(char* p, int n, int ms)
{
    if (m_hPort) {
        DWORD dw = 0;
        if (!ReadFile(m_hPort, p, (DWORD)n, &dw, nullptr))
            return -1;
        return (int)dw;
    }
    fd_set set;
    FD_ZERO(&set);
    FD_SET(m_sock, &set);
    timeval tv = {ms / 1000, (ms % 1000) * 1000};
    if (select(0, &set, nullptr, nullptr, &tv) <= 0)
        return 0;
    int got = recv(m_sock, p, n, 0);
    return got > 0 ? got : -1;
}

std::string PeerWire::Recv(size_t n, int ms)
{
    std::string out(n, '\0');
    size_t got = 0;
    DWORD dwStart = GetTickCount();
    while (got < n && (int)(GetTickCount() - dwStart) < ms) {
        int r = ReadSome(&out[got], (int)(n - got), 50);
        if (r < 0)
            break;
        got += r;
    }
    out.resize(got);
    return out;
}

std::string PeerWire::Drain(int msQuiet)
{
    std::string out;
    char buf[4096];
    DWORD dwLast = GetTickCount();
    while ((int)(GetTickCount() - dwLast) < msQuiet) {
        int r = ReadSome(buf, sizeof buf, 20);
        if (r < 0)
            break;
        if (r > 0) {
            out.append(buf, r);
            dwLast = GetTickCount();
        }
    }
    return out;
}

SOCKET LoopbackListener(uint16_t* pPort)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(*pPort);
    if (bind(s, (sockaddr*)&a, sizeof a) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    listen(s, 4);
    int cb = sizeof a;
    getsockname(s, (sockaddr*)&a, &cb);
    *pPort = ntohs(a.sin_port);
    u_long bNonBlocking = 1;
    ioctlsocket(s, FIONBIO, &bNonBlocking);
    return s;
}

SOCKET ConnectTcp(uint16_t port, const char* pszAddr)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return INVALID_SOCKET;
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = inet_addr(pszAddr);
    a.sin_port = htons(port);
    if (connect(s, (sockaddr*)&a, sizeof a) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    BOOL bNoDelay = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, (const char*)&bNoDelay, sizeof bNoDelay);
    return s;
}

bool LoopbackPair(SOCKET* pA, SOCKET* pB)
{
    uint16_t port = 0;
    SOCKET l = LoopbackListener(&port);
    *pA = ConnectTcp(port);
    *pB = INVALID_SOCKET;
    for (int i = 0; i < 200 && *pB == INVALID_SOCKET; i++) {
        *pB = accept(l, nullptr, nullptr);
        if (*pB == INVALID_SOCKET)
            Sleep(5);
    }
    closesocket(l);
    if (*pB != INVALID_SOCKET) {
        u_long bBlocking = 0;
        ioctlsocket(*pB, FIONBIO, &bBlocking);
    }
    return *pA != INVALID_SOCKET && *pB != INVALID_SOCKET;
}

std::string Frame(uint8_t code)
{
    return std::string{(char)code, (char)0xFF, (char)code, (char)0x11};
}

std::string Le32(uint32_t v)
{
    return std::string{(char)(v & 0xFF), (char)((v >> 8) & 0xFF), (char)((v >> 16) & 0xFF),
                       (char)(v >> 24)};
}

uint32_t Crc(const std::string& data)
{
    uint32_t r = 0;
    for (unsigned char c : data) {
        r ^= c;
        for (int i = 0; i < 8; i++)
            r = (r >> 1) ^ ((r & 1) ? 0xEDB88320u : 0);
    }
    return r;
}

std::string RecordUnits(const std::vector<uint16_t>& units, uint32_t size)
{
    std::string rec(256, '\0');
    for (size_t i = 0; i < units.size() && i < 126; i++) {
        rec[2 * i] = (char)(units[i] & 0xFF);
        rec[2 * i + 1] = (char)(units[i] >> 8);
    }
    rec.replace(252, 4, Le32(size));
    return rec;
}

std::string Record(const std::string& path, uint32_t size)
{
    std::vector<uint16_t> units;
    for (unsigned char c : path)
        units.push_back(c);
    return RecordUnits(units, size);
}

std::string ListMsgRaw(uint8_t count, uint32_t crc, const std::string& body)
{
    return Frame(0x61) + std::string(1, (char)count) + Le32(crc) + body;
}

std::string ListMsg(const std::vector<std::string>& records)
{
    std::string body;
    for (const std::string& r : records)
        body += r;
    return ListMsgRaw((uint8_t)records.size(), Crc(body), body);
}

std::string OpenMsg(uint8_t index)
{
    return Frame(0x5F) + std::string(1, (char)index);
}

std::string BlockMsgCrc(int32_t k, uint32_t crc, const std::string& data)
{
    return Frame(0x5C) + Le32((uint32_t)k) + Le32(crc) + data;
}

std::string BlockMsg(int32_t k, const std::string& data)
{
    return BlockMsgCrc(k, Crc(data), data);
}

std::string BlockOf(const std::string& data, size_t k, size_t cbBlock)
{
    return BlockMsg((int32_t)k, data.substr(k * cbBlock, BlockLen(k, data.size(), cbBlock)));
}

std::string Hex(const std::string& bytes)
{
    std::string out;
    char sz[4], sz2[48];
    for (size_t i = 0; i < bytes.size() && i < 64; i++) {
        snprintf(sz, sizeof sz, "%02X ", (unsigned char)bytes[i]);
        out += sz;
    }
    // A longer string ends with its length and CRC, so that two hex strings are equal only
    // when the whole strings are.
    if (bytes.size() > 64) {
        snprintf(sz2, sizeof sz2, "... %zu bytes, CRC %08X", bytes.size(), Crc(bytes));
        out += sz2;
    }
    return out;
}

std::string Pattern(size_t n, uint32_t seed)
{
    std::string s(n, '\0');
    uint32_t x = seed * 2654435761u + 12345;
    for (size_t i = 0; i < n; i++) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s[i] = (char)(x >> 7);
    }
    return s;
}

size_t BlockLen(size_t k, size_t s, size_t b)
{
    return (k + 1) * b <= s ? b : s % b;
}

size_t BlockCount(size_t s, size_t b, bool bSerial)
{
    return bSerial ? s / b + 1 : (s + b - 1) / b;
}

#include <gtest/gtest.h>

static bool ExpectReply(PeerWire& wire, const std::string& want, const char* pszWhat)
{
    std::string got = wire.Recv(want.size());
    EXPECT_EQ(Hex(want), Hex(got)) << pszWhat;
    return got == want;
}

bool PeerSendBatch(PeerWire& wire, bool bSerial, size_t cbBlock, const std::vector<PeerFile>& files)
{
    std::vector<std::string> records;
    for (const PeerFile& f : files)
        records.push_back(Record(f.path, (uint32_t)f.data.size()));
    wire.Send(ListMsg(records));
    if (!ExpectReply(wire, Frame(0x52), "reply to the list"))
        return false;
    for (size_t i = 0; i < files.size(); i++) {
        const std::string& data = files[i].data;
        wire.Send(OpenMsg((uint8_t)i));
        if (!ExpectReply(wire, Frame(bSerial ? 0x52 : 0x63), "reply to the open"))
            return false;
        for (size_t k = 0; k < BlockCount(data.size(), cbBlock, bSerial); k++) {
            wire.Send(BlockOf(data, k, cbBlock));
            std::string want = Frame(0x54) + (bSerial ? "" : Le32((uint32_t)k));
            if (!ExpectReply(wire, want, "reply to a block"))
                return false;
        }
        wire.Send(Frame(0x60));
        if (!ExpectReply(wire, Frame(0x52), "reply to the close"))
            return false;
    }
    return true;
}
