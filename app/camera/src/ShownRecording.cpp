#include "camera/ShownRecording.h"

#include "capture/ShownFrameEncoder.h"

#include <memory>

void RecordAsShown(OverlayWorker* overlay, const ShownPicture* shown, const page::PageMode* page,
                   record::RecordParams* params) {
    // Shared by the copies of the transform; gone with the recorder's last.
    auto encoder =
        std::make_shared<ShownFrameEncoder>(overlay, shown, params->width, params->height);
    encoder->SetPageMode(page);
    params->width = encoder->Width();
    params->height = encoder->Height();
    params->transform = [encoder](const uint8_t* data, size_t length, const uint8_t** out,
                                  size_t* out_length) {
        return encoder->Encode(data, length, out, out_length);
    };
}
