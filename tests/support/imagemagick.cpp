#include "support/imagemagick.h"

#include "platform/gdi/graphics.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

extern char** environ;

bool RunProgram(const std::string& program, const std::vector<std::string>& args, std::string* log)
{
    char errName[] = "/tmp/editor-tool-XXXXXX";
    const int errFd = ::mkstemp(errName);
    if (errFd < 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, errFd, 1);
    posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = -1;
    if (rc == 0) ::waitpid(pid, &status, 0);
    ::close(errFd);
    if (log) {
        std::ifstream in(errName);
        *log = std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    ::unlink(errName);
    return rc == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string ConvertProgram()
{
    // The distribution's own program; a convert found elsewhere on the path
    // may be a wrapper that changes pictures (flattening transparency).
    for (const char* p : {"/usr/bin/convert-im6.q16", "/usr/bin/convert", "/usr/bin/magick"})
        if (::access(p, X_OK) == 0) return p;
    return "";
}

bool RunConvert(const std::vector<std::string>& args, std::string* log)
{
    const std::string program = ConvertProgram();
    if (program.empty()) {
        if (log) *log = "ImageMagick's convert is not installed";
        return false;
    }
    return RunProgram(program, args, log);
}

bool ConvertPicture(const std::string& source, bool keepAlpha, const std::vector<std::string>& options,
                    const std::string& target, std::string* log)
{
    std::vector<std::string> args = {source};
    if (!keepAlpha) args.insert(args.end(), {"-alpha", "off"});
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(target);
    return RunConvert(args, log);
}

namespace {

// Next header token of a netpbm file, skipping white space and comments.
bool Token(const std::string& data, size_t& pos, std::string& out)
{
    out.clear();
    while (pos < data.size()) {
        if (data[pos] == '#') {
            while (pos < data.size() && data[pos] != '\n') ++pos;
        } else if (std::isspace(static_cast<unsigned char>(data[pos]))) {
            ++pos;
        } else {
            break;
        }
    }
    while (pos < data.size() && !std::isspace(static_cast<unsigned char>(data[pos]))) out += data[pos++];
    return !out.empty();
}

}  // namespace

bool ReadPam(const std::string& file, TReferenceImage& out)
{
    std::ifstream in(file, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.size() < 3 || data[0] != 'P') return false;
    int width = 0, height = 0, depth = 0, maxval = 0;
    std::string tupltype;
    size_t pos = 2;
    std::string tok;
    if (data[1] == '7') {
        while (Token(data, pos, tok)) {
            if (tok == "ENDHDR") break;
            std::string value;
            if (tok == "TUPLTYPE") {
                Token(data, pos, tupltype);
                continue;
            }
            if (!Token(data, pos, value)) return false;
            if (tok == "WIDTH") width = std::stoi(value);
            else if (tok == "HEIGHT") height = std::stoi(value);
            else if (tok == "DEPTH") depth = std::stoi(value);
            else if (tok == "MAXVAL") maxval = std::stoi(value);
        }
        ++pos;  // the new line after ENDHDR
    } else if (data[1] == '6' || data[1] == '5') {
        depth = data[1] == '6' ? 3 : 1;
        std::string w, h, m;
        if (!Token(data, pos, w) || !Token(data, pos, h) || !Token(data, pos, m)) return false;
        width = std::stoi(w);
        height = std::stoi(h);
        maxval = std::stoi(m);
        ++pos;
    } else {
        return false;
    }
    if (width <= 0 || height <= 0 || depth < 1 || depth > 4 || maxval <= 0 || maxval > 65535) return false;
    const int bytes = maxval > 255 ? 2 : 1;
    const size_t need = static_cast<size_t>(width) * height * depth * bytes;
    if (data.size() - pos < need) return false;
    out.Width = width;
    out.Height = height;
    out.HasAlpha = depth == 2 || depth == 4;
    out.Rgba.assign(static_cast<size_t>(width) * height * 4, 255);
    const auto* p = reinterpret_cast<const uint8_t*>(data.data() + pos);
    auto sample = [&](size_t i) -> uint8_t {
        const unsigned v = bytes == 2 ? (p[2 * i] << 8 | p[2 * i + 1]) : p[i];
        return static_cast<uint8_t>((v * 255 + maxval / 2) / maxval);
    };
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
        uint8_t* o = &out.Rgba[i * 4];
        const size_t s = i * depth;
        if (depth >= 3) {
            o[0] = sample(s);
            o[1] = sample(s + 1);
            o[2] = sample(s + 2);
            if (depth == 4) o[3] = sample(s + 3);
        } else {
            o[0] = o[1] = o[2] = sample(s);
            if (depth == 2) o[3] = sample(s + 1);
        }
    }
    return true;
}

bool ReadReference(const std::string& file, TReferenceImage& out, std::string* log)
{
    std::string source = file, prefix;
    const auto colon = file.find(':');
    if (colon != std::string::npos && colon < 8 && file.find('/') > colon) {
        prefix = file.substr(0, colon + 1);
        source = file.substr(colon + 1);
    }
    const std::string pam = source + ".reference.pam";
    // Formats that store rows bottom first are read by ImageMagick as stored
    // and only tagged with their orientation; -auto-orient applies the tag.
    if (!RunConvert({prefix + source, "-auto-orient", "-depth", "8", "pam:" + pam}, log)) return false;
    const bool ok = ReadPam(pam, out);
    std::remove(pam.c_str());
    return ok;
}

bool WritePpm(const std::string& file, int width, int height, const std::vector<uint8_t>& rgb)
{
    std::ofstream out(file, std::ios::binary);
    out << "P6\n" << width << " " << height << "\n255\n";
    out.write(reinterpret_cast<const char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    out.close();
    return !out.fail();
}

void WritePamRgba(const std::string& file, int width, int height, const std::vector<uint8_t>& rgba)
{
    std::ofstream out(file, std::ios::binary);
    out << "P7\nWIDTH " << width << "\nHEIGHT " << height << "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    out.write(reinterpret_cast<const char*>(rgba.data()), static_cast<std::streamsize>(rgba.size()));
}

std::vector<uint8_t> TestPatternRgba(int width, int height)
{
    const std::vector<uint8_t> rgb = TestPatternRgb(width, height);
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
        std::memcpy(&rgba[4 * i], &rgb[3 * i], 3);
        const size_t x = i % static_cast<size_t>(width);
        rgba[4 * i + 3] = static_cast<uint8_t>(x < 4 ? 0 : (x < 8 ? 255 : (i * 7) & 0xFF));
    }
    return rgba;
}

std::vector<uint8_t> TestPatternRgb(int width, int height)
{
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    uint32_t seed = 12345;
    auto next = [&]() {
        seed = seed * 1103515245u + 12345u;
        return static_cast<uint8_t>(seed >> 16);
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            const int band = (y * 4) / (height > 0 ? height : 1);
            if (band == 0) {  // long runs of a few colours
                const int run = (x / 13 + y / 5) % 4;
                p[0] = static_cast<uint8_t>(run * 80);
                p[1] = static_cast<uint8_t>(255 - run * 60);
                p[2] = static_cast<uint8_t>(run * 30);
            } else if (band == 1) {  // gradients
                p[0] = static_cast<uint8_t>(x * 255 / (width > 1 ? width - 1 : 1));
                p[1] = static_cast<uint8_t>(y * 255 / (height > 1 ? height - 1 : 1));
                p[2] = static_cast<uint8_t>((x + y) * 3);
            } else if (band == 2) {  // noise
                p[0] = next();
                p[1] = next();
                p[2] = next();
            } else {  // runs broken by single pixels
                const bool odd = (x % 7) == 3;
                p[0] = odd ? 250 : 10;
                p[1] = odd ? 20 : static_cast<uint8_t>(y * 2);
                p[2] = odd ? 200 : 90;
            }
        }
    }
    return rgb;
}

std::string ComparePixels(const TBitmap& bitmap, const TReferenceImage& reference, int tolerance, bool compareAlpha)
{
    if (bitmap.Width() != reference.Width || bitmap.Height() != reference.Height)
        return "size " + std::to_string(bitmap.Width()) + "x" + std::to_string(bitmap.Height()) + ", expected " +
               std::to_string(reference.Width) + "x" + std::to_string(reference.Height);
    int mismatches = 0;
    std::string first;
    for (int y = 0; y < reference.Height; ++y) {
        for (int x = 0; x < reference.Width; ++x) {
            const TColor c = bitmap.GetPixel(x, y);
            const uint8_t* r = reference.Pixel(x, y);
            int got[4] = {GetRValue(c), GetGValue(c), GetBValue(c), 255};
            if (compareAlpha) got[3] = bitmap.ScanLine(y)[4 * x + 3];
            bool same = true;
            for (int k = 0; k < (compareAlpha ? 4 : 3); ++k)
                if (std::abs(got[k] - r[k]) > tolerance) same = false;
            if (!same && mismatches++ == 0) {
                std::ostringstream s;
                s << "pixel (" << x << "," << y << ") is " << got[0] << "," << got[1] << "," << got[2] << "," << got[3]
                  << ", expected " << int(r[0]) << "," << int(r[1]) << "," << int(r[2]) << "," << int(r[3]);
                first = s.str();
            }
        }
    }
    if (mismatches == 0) return "";
    return std::to_string(mismatches) + " pixels differ; first: " + first;
}
