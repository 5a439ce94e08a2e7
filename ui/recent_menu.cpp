#include "ui/recent_menu.h"

#include <vector>

#include <imgui.h>

#include "base/file_name.h"
#include "base/reason_text.h"
#include "ui/import_command.h"
#include "ui/import_notice.h"
#include "ui/kept_settings.h"
#include "ui/ui_services.h"

namespace {

// The whole path on one line of well-formed text, for the tooltip that tells two pictures of one
// name apart.
std::string ShownPath(const std::string& path) {
    std::vector<char> shown(path.begin(), path.end());
    shown.push_back('\0');
    CleanReasonText(shown.data());
    return shown.data();
}

}  // namespace

void DrawOpenRecentMenu() {
    const std::vector<std::string>& recent = RecentPictures();
    if (!ImGui::BeginMenu("Open Recent", !recent.empty())) return;
    // A copy: choosing one changes the list.
    const std::vector<std::string> listed = recent;
    for (size_t i = 0; i < listed.size(); ++i) {
        ImGui::PushID(int(i));
        if (ImGui::MenuItem(DisplayFileName(listed[i].c_str()).c_str(), nullptr, false, true)) {
            OpenRecentPicture(listed[i]);
        }
        if (ImGui::IsItemHovered()) ImGui::SetTooltip("%s", ShownPath(listed[i]).c_str());
        ImGui::PopID();
    }
    ImGui::Separator();
    if (ImGui::MenuItem("Clear List", nullptr, false, true)) ClearRecentPictures();
    ImGui::EndMenu();
}

void OpenRecentPicture(const std::string& path) {
    if (!UIServices.FileExists(path.c_str())) {
        ForgetRecentPicture(path);
        PostNotice(RecentNoticeTitle, "The picture \"" + DisplayFileName(path.c_str()) +
                                          "\" is no longer there.\nIt was taken off the list.");
        return;
    }
    ImportPictureFile(path.c_str());
}
