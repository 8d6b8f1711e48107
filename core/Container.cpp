#include "core/Container.h"

#include <algorithm>

#include "core/Error.h"
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

bool WriteContainer(ExperimentState& state, const std::string& name, bool pixelMajor,
                    std::uint8_t order) {
    state.CoderOrder = order;
    ByteStream coderOutput;
    coderOutput.LoadFromFile(state.AppDir + "tmp2x.dat");
    if (coderOutput.Size() == 0) return false;

    const ByteStream container =
        MakeContainer(state.ImageWidth, state.ImageHeight,
                      ContainerModeByte(state.CoderOrder, pixelMajor), coderOutput);
    container.SaveToFile(ContainerPath(state.AppDir, name));
    state.Item.ResultOrder = state.CoderOrder;
    state.Item.SizeAfter = static_cast<std::int64_t>(container.Size());
    return true;
}

std::string ShortContainerMessage(const std::string& path) {
    return "Plik " + path + " nie jest kontenerem: ma mniej niż 5 bajtów nagłówka";
}

void ReadContainerHeader(ExperimentState& state) {
    ByteStream loaded;
    loaded.LoadFromFile(state.CurrentPath);
    if (loaded.Size() < kContainerHeaderSize) throw Error(ShortContainerMessage(state.CurrentPath));

    state.ContainerStream = std::move(loaded);
    const std::uint8_t* h = state.ContainerStream.Data();
    state.ImageWidth = static_cast<std::uint16_t>(h[0] | (h[1] << 8));
    state.ImageHeight = static_cast<std::uint16_t>(h[2] | (h[3] << 8));
    state.ContainerMode = h[4];
    state.ContainerStream.Seek(kContainerHeaderSize);
    state.Item.SizeBefore = static_cast<std::int64_t>(state.ContainerStream.Size());
    state.CopyImageSizeToResult();
    state.Item.ResultOrder = ModeOrder(state.ContainerMode);
    state.Item.OpCode = 'D';
}

}  // namespace eks
