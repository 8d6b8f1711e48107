#include "core/Container.h"

#include <algorithm>

#include "core/Error.h"
#include "core/Files.h"
#include "core/Paths.h"

namespace eks {

std::string ContainerName(const std::string& pgmPath, bool pixelMajor, int order) {
    std::string base = FileNamePart(pgmPath);
    base = base.substr(0, base.find('.'));
    return base + "_" + EncodeOpCode(pixelMajor) + std::to_string(order) + ".ybq";
}

std::string ContainerPath(const std::string& appDir, const std::string& name) {
    return ResultsDirPath(appDir) + kPathSeparator + name;
}

ByteStream MakeContainer(std::uint16_t width, std::uint16_t height, std::uint8_t mode,
                         const ByteStream& payload) {
    ByteStream out;
    out.SetSizeForOverwrite(kContainerHeaderSize + payload.Size());
    std::uint8_t* p = out.Data();
    p[0] = static_cast<std::uint8_t>(width & 0xFF);
    p[1] = static_cast<std::uint8_t>(width >> 8);
    p[2] = static_cast<std::uint8_t>(height & 0xFF);
    p[3] = static_cast<std::uint8_t>(height >> 8);
    p[4] = mode;
    if (payload.Size() > 0) std::copy_n(payload.Data(), payload.Size(), p + kContainerHeaderSize);
    return out;
}

std::optional<std::int64_t> WriteContainerFile(const std::string& coderOutputPath,
                                               const std::string& containerPath,
                                               const ContainerHeader& header) {
    ByteStream coderOutput;
    coderOutput.LoadFromFile(coderOutputPath);
    if (coderOutput.Size() == 0) return std::nullopt;
    return WriteContainer(coderOutput, containerPath, header);
}

std::int64_t WriteContainer(const ByteStream& payload, const std::string& containerPath,
                            const ContainerHeader& header) {
    const std::uint8_t head[kContainerHeaderSize] = {
        static_cast<std::uint8_t>(header.width & 0xFF),
        static_cast<std::uint8_t>(header.width >> 8),
        static_cast<std::uint8_t>(header.height & 0xFF),
        static_cast<std::uint8_t>(header.height >> 8), header.mode};
    try {
        SafeSave save(containerPath, SafeSave::Links::Replace);
        save.Write(head, sizeof head);
        save.Write(payload.Data(), payload.Size());
        save.Commit();
        return static_cast<std::int64_t>(save.BytesWritten());
    } catch (const SafeSave::Failure& failure) {
        throw ContainerNotCreatable(SaveFailureMessage(containerPath, failure));
    }
}

std::string ShortContainerMessage(const std::string& path) {
    return "Plik " + path + " nie jest kontenerem: ma mniej niż 5 bajtów nagłówka";
}

ContainerHeader ParseContainerHeader(const ByteStream& file, const std::string& path) {
    if (file.Size() < kContainerHeaderSize) throw Error(ShortContainerMessage(path));
    const std::uint8_t* h = file.Data();
    return {static_cast<std::uint16_t>(h[0] | (h[1] << 8)),
            static_cast<std::uint16_t>(h[2] | (h[3] << 8)), h[4]};
}

void ApplyContainerHeader(ExperimentState& state, const ContainerHeader& header,
                          std::int64_t fileSize) {
    state.ImageWidth = header.width;
    state.ImageHeight = header.height;
    state.Item.SizeBefore = fileSize;
    state.CopyImageSizeToResult();
    state.Item.ResultOrder = ModeOrder(header.mode);
    state.Item.OpCode = 'D';
}

}  // namespace eks
