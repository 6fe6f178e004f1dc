#include "device_identity.h"

#include <glib.h>

namespace tovek::audio {

std::string RecordName(std::string_view name) {
    if (name.size() <= kMaxRecordName) {
        return std::string(name);
    }
    size_t cut = kMaxRecordName;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return std::string(name.substr(0, cut));
}

GUID NameBasedGuid(std::string_view key) {
    static constexpr char kNamespace[] = "TovekAudioCapture device\n";
    GChecksum* sha1 = g_checksum_new(G_CHECKSUM_SHA1);
    g_checksum_update(sha1, reinterpret_cast<const guchar*>(kNamespace), sizeof(kNamespace) - 1);
    g_checksum_update(sha1, reinterpret_cast<const guchar*>(key.data()),
                      static_cast<gssize>(key.size()));
    guint8 digest[20];
    gsize digest_len = sizeof(digest);
    g_checksum_get_digest(sha1, digest, &digest_len);
    g_checksum_free(sha1);
    digest[6] = static_cast<guint8>((digest[6] & 0x0F) | 0x50); // version 5
    digest[8] = static_cast<guint8>((digest[8] & 0x3F) | 0x80); // RFC 4122 variant
    GUID guid{};
    guid.Data1 = (uint32_t{digest[0]} << 24) | (uint32_t{digest[1]} << 16) |
                 (uint32_t{digest[2]} << 8) | digest[3];
    guid.Data2 = static_cast<uint16_t>((digest[4] << 8) | digest[5]);
    guid.Data3 = static_cast<uint16_t>((digest[6] << 8) | digest[7]);
    for (int i = 0; i < 8; ++i) {
        guid.Data4[i] = digest[8 + i];
    }
    return guid;
}

} // namespace tovek::audio
