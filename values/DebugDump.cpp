#include "values/DebugDump.h"

MVarArray BuildDumpTree(const std::vector<std::pair<MString, MString>> &nameValuePairs)
{
    MVarArray root;
    for (const auto &[name, value] : nameValuePairs) {
        MVarArray &child = root.FindOrAdd(MVariant(name));
        child.Value().Assign(MVariant(value));
    }
    return root;
}

bool SaveDebugDump(const MString &path, const std::vector<std::pair<MString, MString>> &entries)
{
    return BuildDumpTree(entries).SaveToFile(path);
}

std::vector<MString> ReadDebugDump(const MString &path)
{
    MVarArray root;
    std::vector<MString> lines;
    if (!root.LoadFromFile(path)) {
        MString damaged(u"Файл ");
        damaged.Append(path);
        damaged.Append(u" поврежден!");
        lines.push_back(damaged);
        return lines;
    }
    // Each child's value is taken from the child itself. Looking it up again by its key
    // text finds the same child in every well-formed dump, but in a damaged one whose keys
    // are not totally ordered the look-up would add empty children while we walk the list.
    lines.reserve(static_cast<std::size_t>(root.Count()));
    for (std::int32_t i = 0; i < root.Count(); ++i) {
        const MVarArray &child = root.Child(i);
        MString line = child.Key().ToText();
        line.Append(u" = ");
        line.Append(child.Value().ToText());
        lines.push_back(std::move(line));
    }
    return lines;
}
