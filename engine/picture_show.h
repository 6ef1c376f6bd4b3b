// The picture show: walks the images folder and gives every picture its cycle of reveal
// steps, then the 2-second hold or the drops, taking the dialog's settings changes between
// two steps. What it draws on, and how it waits, comes from a ShowCanvas, so that the
// cycle runs the same against the screen and against a test's fake.
#pragma once

#include "engine/folder_walk.h"
#include "engine/random.h"
#include "engine/reveal.h"
#include "engine/settings_change.h"
#include "engine/show_settings.h"

#include <cstdint>
#include <memory>
#include <string>

enum class RevealDraw { Finished, Interrupted, NoSurface };

// One reveal step as the show asks for it; `revealMap` and `progress` belong to the show.
struct RevealRequest {
    RevealMapView revealMap;
    bool cutBackground;
    std::uint8_t scatterCount;
    ChannelMap channelMap;
    std::uint8_t psychedeliaLevel; // the live level: at 16 bits, 0 copies pixels unchanged
};

// What the show draws on and waits with. Every call comes from the show's own thread.
class ShowCanvas {
  public:
    virtual ~ShowCanvas() = default;
    // The target's size in pixels when the show starts; the reveal map is made to fit it.
    virtual std::int32_t width() const = 0;
    virtual std::int32_t height() const = 0;

    // A safe point between two steps: waits while a hold lasts; false once a stop was asked.
    virtual bool checkpoint() = 0;
    // Moves the change sent since the last call into `change`; false when there is none.
    virtual bool takeSettingsChange(SettingsChange& change) = 0;

    // The images folder's listing. `useImagesFolder` names the folder (as the settings file
    // holds it) that the listing's next open() scans.
    virtual FolderListing& listing() = 0;
    virtual void useImagesFolder(const std::string& folder) = 0;
    // Decodes the named entry of the listing, of the walk's format, onto the picture surface:
    // 0 when it covers it.
    virtual std::int32_t loadPicture(const char* fileName, PictureFormat format,
                                     bool cutBackground) = 0;
    // A picture was accepted; `shown` when it was loaded and its cycle plays.
    virtual void pictureStarted(bool shown) = 0;

    // One reveal step, or the rest of one an earlier call left in `progress`, drawing from
    // `random`. Interrupted when a hold ended it early; NoSurface when a surface could not
    // be drawn on.
    virtual RevealDraw revealStep(const RevealRequest& request, RevealProgress& progress,
                                  RandomGenerator& random) = 0;
    // Waits for the display's next refresh, so the step stays on the screen for one.
    virtual bool waitForNextRefresh() = 0;
    // Sleeps `ms`; false once a stop was asked.
    virtual bool sleep(std::uint32_t ms) = 0;

    // The ripple's resources for drops of `waveSize`, and their release before a rebuild.
    virtual void prepareRipple(std::uint8_t waveSize) = 0;
    virtual void releaseRipple() = 0;
    // One drop and its ripple, placed with `random`.
    virtual void dropStep(RandomGenerator& random) = 0;

    // Whether a surface is lost now, and the wait until both are back: false once a stop
    // was asked.
    virtual bool surfacesLost() = 0;
    virtual bool restoreSurfaces() = 0;
};

// Where the remembered picture lives: `name` (lastPictureNameSize bytes, always
// NUL-terminated) is rewritten with every picture shown; `searchDone` is 0 while the first
// scan still has to skip forward to it. The pictures to pass by, and the record of the one
// under decode, may be null. All outlive the show.
struct RememberedPicture {
    char* name;
    std::uint8_t* searchDone;
    const SkippedPictures* skipped = nullptr;
    PictureUnderDecode* underDecode = nullptr;
};

class PictureShow {
  public:
    // `settings` is the record and folder to start with; `seed` starts the show's random
    // generator, which places every reveal draw and every drop.
    PictureShow(ShowCanvas& canvas, const SettingsChange& settings, RememberedPicture remembered,
                std::uint32_t seed);
    PictureShow(const PictureShow&) = delete;
    PictureShow& operator=(const PictureShow&) = delete;

    // Plays until a stop is asked, a surface fails for good, or the reveal map cannot be
    // made. Each change is taken at the next safe point: the record's fields at their next
    // use (blur and psychedelia's arrangement at the next picture, the usage period at
    // once), the folder at the next picture, the wave size at the next drop. A whole pass
    // over the folder in which pictures were tried and none could be shown is followed by
    // a sleep, longer after each such pass, before the folder is scanned again.
    void run();

    const SaverSettings& settings() const { return settings_; }

  private:
    enum class Step { Next, Again, End };
    // The checkpoint, then any change waiting.
    bool safePoint();
    void apply(const SettingsChange& change);
    // False once a stop was asked during the wait after a fruitless pass.
    bool startPicture();
    Step reveal();
    Step drop();

    ShowCanvas& canvas_;
    SaverSettings settings_;
    CycleState state_;
    RevealProgress progress_;
    // A reveal step that a hold ended early, to be finished before anything else; its
    // progress may still be at row 0.
    bool revealUnderway_ = false;
    std::unique_ptr<std::uint8_t[]> revealCells_;
    RevealMapView revealMap_ = {};
    bool rebuildRipple_ = false;
    RandomGenerator random_;
    // The scan under way: whether it handed a picture to the loader, and whether one showed.
    bool passTried_ = false;
    bool passShown_ = false;
    std::uint32_t fruitlessPassWaitMs_;
};
