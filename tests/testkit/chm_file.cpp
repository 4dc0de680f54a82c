// Reading a compiled HTML Help file through the InfoTech storage.
#include "chm_file.h"

#include <objbase.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <sstream>
#include <vector>

namespace testkit {

// The InfoTech storage's interface, implemented by itss.dll. Declared outside an unnamed namespace:
// a class of this file's own that nothing here derives from would let the compiler take every call
// through it as unreachable.
struct IITStorage : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE StgCreateDocfile(const WCHAR *, DWORD, DWORD, IStorage **) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgCreateDocfileOnILockBytes(ILockBytes *, DWORD, DWORD, IStorage **) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgIsStorageFile(const WCHAR *) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgIsStorageILockBytes(ILockBytes *) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgOpenStorage(const WCHAR *, IStorage *, DWORD, SNB, DWORD, IStorage **) = 0;
};

namespace {

// The InfoTech storage's class and its one interface, as itss.dll publishes them (the SDK's
// itss.h; mingw-w64 ships no copy).
const CLSID kClsidItStorage = {0x5d02926a, 0x212e, 0x11d0, {0x9d, 0xf9, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec}};
const IID kIidItStorage = {0x88cc31de, 0x27ab, 0x11d0, {0x9d, 0xf9, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec}};


std::wstring Wide(const std::string &text)
{
    std::vector<wchar_t> wide(text.size() + 1);
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    return wide.data();
}

DWORD Dword(const std::string &bytes, size_t at)
{
    DWORD value = 0;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

std::string Trim(const std::string &text)
{
    size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1])))
        --e;
    return text.substr(b, e - b);
}

}  // namespace

ChmFile::ChmFile(const std::string &path)
{
    comStarted_ = SUCCEEDED(CoInitialize(nullptr));
    void *object = nullptr;
    error_ = CoCreateInstance(kClsidItStorage, nullptr, CLSCTX_INPROC_SERVER, kIidItStorage, &object);
    if (FAILED(error_) || object == nullptr)
        return;
    IITStorage *its = static_cast<IITStorage *>(object);
    std::wstring wide = Wide(path);
    error_ = its->StgOpenStorage(wide.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, &storage_);
    its->Release();
    if (FAILED(error_))
        storage_ = nullptr;
}

ChmFile::~ChmFile()
{
    if (storage_ != nullptr)
        storage_->Release();
    if (comStarted_)
        CoUninitialize();
}

bool ChmFile::Read(const std::string &name, std::string *bytes) const
{
    bytes->clear();
    if (storage_ == nullptr)
        return false;
    // The storage takes names without the leading slash of the help file's own paths.
    std::wstring wide = Wide(!name.empty() && name[0] == '/' ? name.substr(1) : name);
    IStream *stream = nullptr;
    if (FAILED(storage_->OpenStream(wide.c_str(), nullptr, STGM_READ, 0, &stream)) || stream == nullptr)
        return false;
    // Read up to the size the storage states: at its end a read may answer the last bytes again
    // rather than none.
    STATSTG stat = {};
    bool ok = SUCCEEDED(stream->Stat(&stat, STATFLAG_NONAME));
    ULONGLONG size = ok ? stat.cbSize.QuadPart : 0;
    char buffer[4096];
    while (ok && bytes->size() < size) {
        ULONG want = static_cast<ULONG>(std::min<ULONGLONG>(sizeof buffer, size - bytes->size()));
        ULONG got = 0;
        ok = SUCCEEDED(stream->Read(buffer, want, &got)) && got > 0;
        if (ok)
            bytes->append(buffer, got);
    }
    stream->Release();
    return ok;
}

std::string ChmFile::ContextTopic(DWORD id) const
{
    // #IVB: a DWORD byte count, then pairs (context number, offset of its topic in #STRINGS).
    std::string ivb, strings;
    if (!Read("/#IVB", &ivb) || !Read("/#STRINGS", &strings) || ivb.size() < 4)
        return "";
    size_t size = Dword(ivb, 0);
    for (size_t at = 4; at + 8 <= ivb.size() && at + 8 <= size + 4; at += 8) {
        if (Dword(ivb, at) != id)
            continue;
        size_t offset = Dword(ivb, at + 4);
        if (offset >= strings.size())
            return "";
        return std::string(strings.c_str() + offset);
    }
    return "";
}

std::string ChmFile::Title(const std::string &name) const
{
    std::string html;
    if (!Read(name, &html))
        return "";
    size_t open = html.find("<title>"), close = html.find("</title>");
    if (open == std::string::npos || close == std::string::npos || close < open)
        return "";
    std::string title = html.substr(open + 7, close - open - 7);
    for (size_t at = title.find("&#39;"); at != std::string::npos; at = title.find("&#39;"))
        title.replace(at, 5, "'");
    return title;
}

std::map<DWORD, std::string> ChmFile::Popups(const std::string &name) const
{
    std::map<DWORD, std::string> popups;
    std::string text;
    if (!Read(name, &text))
        return popups;
    std::istringstream lines(text);
    std::string line, body;
    DWORD current = 0;
    bool inTopic = false;
    auto flush = [&]() {
        if (inTopic)
            popups[current] = Trim(body);
        body.clear();
    };
    while (std::getline(lines, line)) {
        if (line.compare(0, 7, ".topic ") == 0) {
            flush();
            current = std::strtoul(line.c_str() + 7, nullptr, 10);
            inTopic = true;
        } else {
            body += line + "\n";
        }
    }
    flush();
    return popups;
}

}  // namespace testkit
