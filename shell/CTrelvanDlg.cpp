#include "CTrelvanDlg.h"

#include <QApplication>
#include <QLabel>
#include <memory>

#include "CAVICreatorDlg.h"
#include "CAVICutterDlg.h"
#include "CAVIExtract.h"
#include "CAVILinkerDlg.h"
#include "CColorButton.h"
#include "CComingPage.h"
#include "CMovCreatorDlg.h"
#include "CMovCutterDlg.h"
#include "CMovExtract.h"
#include "CMovLinkerDlg.h"
#include "CWAVExtract.h"
#include "CWAVLinkerDlg.h"
#include "CWMVCreatorDlg.h"
#include "CWMVCutterDlg.h"
#include "CWMVExtract.h"
#include "CWMVLinkerDlg.h"
#include "PageUtil.h"

using trelvan::shell::DluRect;
using trelvan::shell::Japanese;

namespace {

// The fourteen pages in button order: button caption (English, Japanese), the
// page layout and colour, and whether its operation is built.
struct PageEntry {
    const char* english;
    const char* japanese;
    int templateId;
    QColor colour;
    bool built;
};

const PageEntry kPages[CTrelvanDlg::kPageCount] = {
    {"V-A Separate", "映像音声分離", 106, QColor(255, 128, 128), true},
    {"V-A Unite", "映像音声合体", 105, QColor(255, 191, 128), true},
    {"Movie Link", "動画連結", 107, QColor(255, 255, 128), true},
    {"Movie Extra", "動画抽出", 110, QColor(191, 255, 128), true},
    {"Audio Link", "音声連結", 107, QColor(128, 255, 128), true},
    {"Audio Extra", "音声抽出", 110, QColor(128, 255, 191), true},
    {"V-A Separate", "映像音声分離", 106, QColor(128, 255, 255), true},
    {"V-A Unite", "映像音声合体", 105, QColor(128, 191, 255), true},
    {"Movie Link", "動画連結", 107, QColor(128, 128, 255), true},
    {"Movie Extra", "動画抽出", 110, QColor(192, 128, 255), true},
    {"V-A Separate", "映像音声分離", 106, QColor(255, 128, 255), true},
    {"V-A Unite", "映像音声合体", 105, QColor(255, 192, 224), true},
    {"Movie Link", "動画連結", 107, QColor(255, 128, 192), true},
    {"Movie Extra", "動画抽出", 110, QColor(224, 192, 255), true},
};

// The rows in dialog units: AVI and audio at the top, then below the page
// panel WMV and MOV; every button is 47 x 17, after the row's label.
constexpr int kTopRowY = -1;
constexpr int kWmvRowY = 210;
constexpr int kMovRowY = 227;

// Button positions in dialog units (x, y).
const int kButtonPos[CTrelvanDlg::kPageCount][2] = {
    {47, kTopRowY},  {94, kTopRowY},  {141, kTopRowY}, {187, kTopRowY}, {234, kTopRowY},
    {281, kTopRowY}, {47, kWmvRowY},  {94, kWmvRowY},  {141, kWmvRowY}, {187, kWmvRowY},
    {47, kMovRowY},  {94, kMovRowY},  {141, kMovRowY}, {187, kMovRowY},
};

// The page object behind each button. A page whose operation is built gets
// its class here and `built` in the table above; the others are placeholders.
std::unique_ptr<CBaseDialog> MakePage(int index, CTrelvanDlg* owner) {
    switch (index) {
        case 0:
            return std::make_unique<CAVICutterDlg>(owner);
        case 1:
            return std::make_unique<CAVICreatorDlg>(owner);
        case 2:
            return std::make_unique<CAVILinkerDlg>(owner);
        case 3:
            return std::make_unique<CAVIExtract>(owner);
        case 4:
            return std::make_unique<CWAVLinkerDlg>(owner);
        case 5:
            return std::make_unique<CWAVExtract>(owner);
        case 6:
            return std::make_unique<CWMVCutterDlg>(owner);
        case 7:
            return std::make_unique<CWMVCreatorDlg>(owner);
        case 8:
            return std::make_unique<CWMVLinkerDlg>(owner);
        case 9:
            return std::make_unique<CWMVExtract>(owner);
        case 10:
            return std::make_unique<CMovCutterDlg>(owner);
        case 11:
            return std::make_unique<CMovCreatorDlg>(owner);
        case 12:
            return std::make_unique<CMovLinkerDlg>(owner);
        case 13:
            return std::make_unique<CMovExtract>(owner);
        default:
            return std::make_unique<CComingPage>(kPages[index].templateId, owner,
                                                 kPages[index].colour);
    }
}

}  // namespace

CTrelvanDlg::CTrelvanDlg(QWidget* parent) : CBaseFrameColorDialog(102, parent, true, false) {
    setWindowTitle("Trelvan+");
    setObjectName("CTrelvanDlg");
}

CTrelvanDlg::~CTrelvanDlg() {
    // The pages go before the window that holds them.
    m_pages.RemoveAll();
}

bool CTrelvanDlg::PageIsBuilt(int index) {
    return index >= 0 && index < kPageCount && kPages[index].built;
}

QColor CTrelvanDlg::PageColour(int index) {
    if (index < 0 || index >= kPageCount) {
        return QColor(0, 0, 0);
    }
    return kPages[index].colour;
}

CColorButton* CTrelvanDlg::PageButton(int index) const {
    return Client()->findChild<CColorButton*>(QString::number(kFirstButtonId + index));
}

void CTrelvanDlg::BuildControls() {
    QWidget* client = Client();
    SetClientSize(trelvan::shell::DluX(327), trelvan::shell::DluY(kMovRowY + 16));
    auto rowLabel = [client](const char* text, int x, int y) {
        auto* l = new QLabel(text, client);
        l->setAlignment(Qt::AlignCenter);
        l->setGeometry(DluRect(x, y, 47, 17));
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
    };
    rowLabel("AVI", 0, 0);
    rowLabel("WMV", 0, kWmvRowY);
    rowLabel("MOV", 0, kMovRowY);
    auto* panel = new QLabel(client);
    panel->setObjectName(QString::number(kPanelId));
    panel->setGeometry(DluRect(0, 16, 327, 194));
    panel->setAttribute(Qt::WA_TransparentForMouseEvents);
    for (int i = 0; i < kPageCount; ++i) {
        auto* b = new CColorButton(client, 1);
        b->setObjectName(QString::number(kFirstButtonId + i));
        b->setText(QString::fromUtf8(kPages[i].english));
        QRect r = DluRect(kButtonPos[i][0], kButtonPos[i][1], 47, 17);
        if (r.top() < 0) {
            r.moveTop(0);
        }
        b->setGeometry(r);
        b->SetColours(QColor(0, 0, 0), kPages[i].colour, QColor(128, 128, 128),
                      QColor(255, 0, 255));
        b->setFocusPolicy(Qt::TabFocus);
        QFont small = b->font();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        b->setFont(small);
        connect(b, &QPushButton::clicked, this, [this, i] { SelectPage(i); });
    }
}

bool CTrelvanDlg::OnInitDialog() {
    CBaseFrameColorDialog::OnInitDialog();
    if (Japanese()) {
        for (int i = 0; i < kPageCount; ++i) {
            SetItemText(kFirstButtonId + i, QString::fromUtf8(kPages[i].japanese));
        }
    }
    setWindowIcon(QIcon(":/trelvan/128.png"));
    CreatePages();
    m_selected = 0;
    SelectPage(0);
    return true;
}

void CTrelvanDlg::CreatePages() {
    QWidget* client = Client();
    for (int i = 0; i < kPageCount; ++i) {
        std::unique_ptr<CBaseDialog> page = MakePage(i, this);
        page->setObjectName(QString("Page%1").arg(i));
        m_pages.Add(page);
        CColorButton* button = PageButton(i);
        m_pageNames << button->text();
        if (!kPages[i].built) {
            button->setEnabled(false);
            button->setToolTip(CComingPage::ComingText());
        }
    }
    QWidget* panel = client->findChild<QWidget*>(QString::number(kPanelId));
    m_pages.CreateAll(panel->geometry(), client);
    // The pages lie above the panel, the buttons above the pages.
    for (int i = 0; i < kPageCount; ++i) {
        PageButton(i)->raise();
    }
}

void CTrelvanDlg::SelectPage(int index) {
    m_pages.ShowOnly(index);
    m_selected = index;
    update();  // the frame takes the page's colour
}

int CTrelvanDlg::PageForFile(const QString& path) {
    static const struct {
        const char* extension;
        int page;
    } kKinds[] = {
        {".avi", 0},  {".wav", 5},  {".wmv", 6},  {".wma", 9},  {".mov", 10},
        {".mp4", 10}, {".m4v", 10}, {".3gp", 10}, {".m4a", 13},
    };
    for (const auto& kind : kKinds) {
        if (trelvan::shell::ExtensionIs(path, kind.extension)) {
            return kind.page;
        }
    }
    return -1;
}

void CTrelvanDlg::OnFileDropped(const QString& path) {
    CBaseDialog* page = m_pages.At(m_selected);
    if (page != nullptr && !page->Takes(path)) {
        const int index = PageForFile(path);
        if (index >= 0 && m_pages.At(index) != nullptr) {
            SelectPage(index);
            page = m_pages.At(index);
        }
    }
    if (page != nullptr) {
        page->OnFileDropped(path);
    }
}

void CTrelvanDlg::OnSysClose() {
    for (int i = 0; i < m_pages.Size(); ++i) {
        if (!m_pages.At(i)->IsIdle()) {
            trelvan::shell::ShowMessageBox({this, trelvan::shell::kProgramName,
                                            QString("%1 Going").arg(m_pageNames.value(i)), false});
            return;
        }
    }
    EndDialog(QDialog::Rejected);
}

void CTrelvanDlg::LoadFrameImages() {
    m_buttonImages[kClose].LoadImageResource(":/trelvan/134.png");
    m_buttonImages[kMaximise].LoadImageResource(":/trelvan/137.png");
    m_buttonImages[kMinimise].LoadImageResource(":/trelvan/136.png");
    m_captionIcon.LoadImageResource(":/trelvan/135.png");
}

QColor CTrelvanDlg::GetFrameColour() const {
    return PageColour(m_selected);
}

QColor CTrelvanDlg::GetCaptionTextColour() const {
    const QColor f = GetFrameColour();
    return QColor((f.red() + 128) % 256, (f.green() + 128) % 256, (f.blue() + 128) % 256);
}
