#pragma once

#include "CBaseUnitePage.h"
#include "CMovPage.h"

// The MOV unite page ("V-A Unite"): the video tracks of one QuickTime or MP4
// movie and the sound tracks of another side by side into one MOV file,
// every sample copied as stored. The unite runs on the window thread.
class CMovCreatorDlg : public CMovPage<CBaseUnitePage> {
    Q_OBJECT
  public:
    explicit CMovCreatorDlg(QWidget* owner);

    // A dropped movie (.mov, .mp4, .m4v, .3gp) becomes the video source and
    // names the output; a dropped .m4a file becomes the sound source.
    void OnFileDropped(const QString& path) override;
    bool Takes(const QString& path) const override;

  protected:
    void OnUnite() override;

  private:
    // The source a failed run's message names: the output for an output
    // that cannot be made, else the first source that cannot be read or
    // lacks its kind of track.
    std::string FailedFile(const trelvan::MovUniteJob& job, const trelvan::MovOpResult& r) const;
};
