// TMainForm: the host object of the game. It owns the script engine, the two key-value stores
// and the picture catalogue, and its published methods are the functions the game script calls.
// It is not a window: the application object owns the window and drives the form; what the form
// needs back from the application goes through TAppLink.
//
// Script functions follow the convention of TLua: `int F(lua_State* L)` reads its arguments by
// position (missing or wrong ones read as 0, empty text or false), pushes its results and returns
// how many. The one table of published methods is in MainFormMethods.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine3d/DisplayPlan.h"
#include "engine3d/NameIndex.h"
#include "log/ScriptLogFile.h"
#include "lua/MyLua.h"
#include "main/AppLink.h"
#include "main/AssArray.h"
#include "main/GroupStack.h"
#include "main/InputMapping.h"
#include "main/PictureCatalogue.h"
#include "platform/handles.h"

namespace hv {

class TKavSurfaceEngine3D;
class IDirect3DDevice9;

// One effect the viewer modes show: a name and a position.
struct TEffectDesc {
    std::string Name;
    int32_t X = 0;
    int32_t Y = 0;
};

// Viewer modes, as read from "KavViewer.config" and the viewer command line.
enum : int32_t { kViewerTesting = 0, kViewerEffects = 10, kViewerInterface = 20 };

class TMainForm : public TObject {
    HV_PUBLISHED_CLASS(TMainForm)

public:
    explicit TMainForm(TAppLink* app = nullptr);
    ~TMainForm() override;

    // --- State (defaults as after start-up) ---
    TAppLink* App;                 // the application object; not owned
    HWND Handle = nullptr;         // the application window
    bool FLoading = false;         // a picture load is running
    int32_t FLoadProgress = 0;     // 0..100 while FLoading
    int32_t FirstPictureTime = 0;  // ms; set by the first picture drawn
    bool FActive = true;           // drawing enabled
    int32_t ShiftX = 0, ShiftY = 0, ShiftCount = 0;
    int32_t LastMouseX = 0, LastMouseY = 0;
    int32_t IsFullScreen = 0;   // 1 full screen, 0 windowed
    bool CustomCursor = false;  // the game's own pointer is drawn; the system one is hidden
    std::string DataPath = "data\\";
    std::string EffectsParam;                   // from the command line
    std::string StartNameParam;                 // from the command line
    int32_t ConfigWidth = 0, ConfigHeight = 0;  // window size from the command line, 0: none
    std::string Caption;                        // kept for the script; shown nowhere

    // Viewer configuration ("KavViewer.config" and the viewer command line). Only DataPath is
    // used by the host (sound files); the rest is kept for the script's viewer modes.
    int32_t ViewerMode = kViewerTesting;
    bool FromFileFolder = false;
    bool HasBackground = false;
    bool BackgroundRedraw = false;
    std::string BackgroundName;
    std::vector<TEffectDesc> ViewerEffects{TEffectDesc{}};

    TScriptLogFile ScriptLogFile;  // the script's own plain text file

    // The surface engine: created by FormCreate for the desktop, replaced when the resolution
    // changes. Never null after FormCreate.
    std::unique_ptr<TKavSurfaceEngine3D> KavSurfaceEngine3D;
    std::unique_ptr<TMyLua> ScriptEngine;
    tAssArray GameParams;  // saved as UserDataDir + "GameParams.txt"
    tAssArray Profile;     // saved as UserDataDir + "Profile.txt"
    // Whether the script (or the player's window switch) has changed the store since it was
    // loaded: a store that is still as loaded follows the per-user folder when LoadLuas moves
    // it; a changed one keeps its values.
    bool GameParamsChanged = false;
    bool ProfileChanged = false;
    TPictureCatalogue PictureCatalogue;
    std::optional<std::vector<std::string>> SplashList;

    // Drawing groups: the list in first-opened order (its last record is the top), the index of
    // the current record (-1: none), and the values in effect for drawing: script positions pass
    // through GroupTransform; picture opacity is multiplied by Alpha.
    TGroupStack Groups;
    int32_t CurrentGroup = -1;
    TGroupTransform GroupTransform;
    double Alpha = 1;

    // --- Start-up and shutdown ---
    // First half of the form's start-up, run once by the application after the window exists:
    // state flags, the start tick, drawing groups, the full-screen flag from the application,
    // the viewer effects list and the data folder.
    void FormCreate();
    // Second half: the per-user folder and the log file, the two key-value files, the script
    // engine with every published method registered, the script bundle, the picture catalogue,
    // the script run once and "A_Init" called. Without a bundle the program ends with exit code
    // 2 after telling where it looked. A script error ends on the top-level failure path.
    void CreateResources_Testing();
    // Frees the script engine, every sound stream the script left open and the drawing groups.
    // Nothing calls it: the form lives until the process ends.
    void FormDestroy();
    // Published event handlers that do nothing.
    void FormActivate() {}
    void FormPaint() {}
    void FormMouseWheel() {}

    // QuitGame(): logs the hint "TMainForm.QuitGame", opens "Link.url" when present, and ends
    // the program at once with exit code 0, without saving.
    int QuitGame(lua_State* L);
    // InitLogFile(name): binds the script's own text file to UserDataDir + name and empties it.
    int InitLogFile(lua_State* L);
    // WriteToLogFile(text): appends the text and CR LF to that file.
    int WriteToLogFile(lua_State* L);

    // --- Frame ---
    // One loop turn's frame: Draw.
    void AppIdle();
    // One frame: clear to blue, begin, the black play area and its outline, A_Loading while a
    // load runs or A_Update otherwise, end, present. Without a device it logs an error and draws
    // nothing. A script error ends on the top-level failure path (no end or present).
    void Draw();
    // True when the video memory measured with the device is below 64000000 bytes.
    bool LowBitsInHistory() const;
    // LowBitsInHistoryForLua() -> LowBitsInHistory as a boolean.
    int LowBitsInHistoryForLua(lua_State* L);

    // --- Input ---
    enum class TMouseButton { Left, Right, Middle };
    // Window positions (client pixels) of the application window's mouse messages.
    void FormMouseMove(int32_t x, int32_t y);
    void FormMouseDown(TMouseButton button, int32_t x, int32_t y);
    void FormMouseUp(TMouseButton button, int32_t x, int32_t y);
    // A special key (`key`, charCode 0) or a typed character (key 0, `charCode` a code point).
    // The arrows move ShiftX/ShiftY and "q" counts ShiftCount; both then tell G_ShiftEffects.
    void FormKeyDown(int32_t key, int32_t charCode);
    // Published, connected to no message.
    void FormKeyUp() {}
    void FormKeyPress() {}
    // SetoffsetXY([x [, y]]): sets ShiftX and ShiftY. No results.
    int SetoffsetXY(lua_State* L);
    // The game position shown at client position (x, y) of the window, by the display plan in
    // force: positions on the bars are held at the play area's edge. (0, 0) without an engine.
    TGamePoint GamePosition(int32_t x, int32_t y) const;

    // --- Drawing and hit tests ---
    // Script positions pass through the current group's GroupTransform before drawing; picture
    // opacity is multiplied by Alpha. Colours have red in the low byte.
    std::string CurrentBack;  // the background the script names; nothing reads it
    // DrawPicture(key, value, ...): draws a picture from key/value pairs ("src", "x", "y",
    // "alpha", "color", "colorpower", "outputmode", "angle" in radians, "scalex", "scaley",
    // "transx", "transy", "filter", "rect" l, t, r, b, "splash"; keys in any case). The first
    // call sets FirstPictureTime. No results.
    int DrawPicture(lua_State* L);
    // DrawLine(x1, y1, x2, y2 [, color [, alpha [, filled]]]): a line, or the filled rectangle.
    int DrawLine(lua_State* L);
    // DrawPoligon("(x,y)(x,y)..." [, color]): the closed outline through the points.
    int DrawPoligon(lua_State* L);
    // DrawTriangle(x1, y1, x2, y2, x3, y3 [, color [, alpha [, filled]]]).
    int DrawTriangle(lua_State* L);
    // OutTextXY(text, x, y): opaque white text at game position (x, y) (the back buffer is the
    // game's size); groups do not apply.
    int OutTextXY(lua_State* L);
    // GetPictureSize(name) -> width, height; 0, 0 for an unknown picture.
    int GetPictureSize(lua_State* L);
    // GetMassCenter("(x,y)...") -> the rounded mean x, y of the points.
    int GetMassCenter(lua_State* L);
    // InsideRect(px, py, rx, ry, rw, rh) -> true when the point lies in the rectangle, edges
    // included.
    int InsideRect(lua_State* L);
    // InsidePicture(name, picX, picY, ptX, ptY [, radius [, threshold]]) -> true when a texel
    // within `radius` (10) of the point, the picture drawn plainly at (picX, picY), has an
    // opacity above `threshold` (102).
    int InsidePicture(lua_State* L);
    // SetCurrentBack(name).
    int SetCurrentBack(lua_State* L);
    // Kept for old scripts; they do nothing.
    int CopyAlphaChannel(lua_State* L);
    int ConvertSurfaceToNormalMap(lua_State* L);
    // GetDialogList() -> "name;name;..." of the sub-folders of ExeDir + "History" ("" without
    // the folder).
    int GetDialogList(lua_State* L);
    // Whether some texel of the picture `name` in the square of `radius` texels around (x, y),
    // counted from the picture's top-left as shown on screen, has an opacity above `threshold`.
    // False for an unknown picture or one whose texture is absent; true (and an error logged)
    // when the texture cannot be read.
    bool GetAlphaFromSurf(std::string_view name, int64_t x, int64_t y, int64_t radius,
                          int64_t threshold);

    // --- Display modes, window switching and cursor ---
    // GetSystemResolution() -> desktop width, desktop height.
    int GetSystemResolution(lua_State* L);
    // SetSystemResolution(width, height) -> success, ViewWidth, ViewHeight. Replaces the surface
    // engine by a new one whose device is made by the display plan for width x height (full
    // screen) or the window size (windowed). In full screen a size that is no display mode is
    // reported as the desktop's while the game keeps its width x height coordinates. success is
    // false only without Direct3D. The texture files are registered with the new engine.
    int SetSystemResolution(lua_State* L);
    // AppChangeWindowMode(): the application switches between full screen and a window.
    int AppChangeWindowMode(lua_State* L);
    // EvictManagedResources(): asks the device to evict managed resources; nothing without one.
    int EvictManagedResources(lua_State* L);
    // SetCursor(name): sets the pointer's shape at once, by exact name; unknown names give the
    // standard arrow. Not remembered.
    int SetCursor(lua_State* L);
    // Published, does nothing.
    void AppChangeCustomCursor() {}
    // Switches IsFullScreen and the engine between full screen and a window by a new display
    // plan, saves the choice as GameParams "Fullscreen" and tells the script the new size. A
    // switch that cannot be shown leaves the mode in force as it was (the log says so) and
    // changes nothing else.
    void ChangeWindowMode();
    // A_ChangeResolution(width, height, true) with the requested size in full screen or the
    // window size in a window. A script error is reported through WriteErrorLines (it throws).
    void Call_A_ChangeResolution();
    // Makes the engine's device again for the display in force, planned anew for the desktop as
    // it is now; 0 on success, E_FAIL without a Direct3D object (a device that cannot be made
    // ends the program).
    HRESULT RestoreDisplay();
    // What the framework reads of the display, from FormCreate on (before it there is no engine:
    // null, an empty rectangle, 0): the surface engine's device (null until it is made); the
    // window's outer rectangle by the display in force; the desktop's refresh rate in Hz, 0 when
    // unknown (a window is shown at it, and a full-screen game keeps the desktop's mode).
    IDirect3DDevice9* DisplayDevice() const;
    RECT DisplayWindowRect() const;
    uint32_t DesktopRefreshRate() const;
    // The player's choice of how the frame fills the screen or a window larger than the game:
    // read at start-up (ReadScalingSetting) and given to every engine.
    TScaling DisplayScaling = TScaling::KeepShape;
    // HALVARDINE_SCALING when set, otherwise the Scaling element of "KavViewer.config",
    // otherwise keep shape; "keep", "whole" or "stretch". Other text is logged and ignored.
    void ReadScalingSetting();

    // --- Picture loading ---
    // Lists are ";"-separated texts. The loaders hold FLoading for their length; with
    // showProgress they draw a frame first and another whenever FLoadProgress (0..100) moves, so
    // the script's A_Loading runs inside the call. sixteenBit asks for 16-bit textures. No results.
    // LoadPictures(list [, showProgress, freeAfterLoad, sixteenBit]): each item is a catalogue
    // name or "name|file|x|y|w|h|rotate"; an item that describes no picture is skipped.
    int LoadPictures(lua_State* L);
    // ReLoadPictures(list): removes the surfaces named in the list.
    int ReLoadPictures(lua_State* L);
    // SaveCurrentSurfaces(): writes the engine's surfaces and loaded textures to "Surfaces.txt"
    // in the game folder.
    int SaveCurrentSurfaces(lua_State* L);
    // LoadTextures(list [, showProgress, free, sixteenBit]): the surfaces of every catalogue
    // entry whose atlas is listed ("bg01" or "bg01.png"). Given two or more arguments, the free
    // flag (argument 3, else 2) overrides every entry's FreeAfterLoad.
    int LoadTextures(lua_State* L);
    // ReLoadTextures(list): removes the surfaces of the listed atlases, releasing the atlases.
    int ReLoadTextures(lua_State* L);
    // LoadAllTextures(): the engine's texture list becomes the entries of the "Textures" folder;
    // nothing changes without that folder. Meant for an engine without surfaces.
    int LoadAllTextures(lua_State* L);
    // DublicateSurface(name, source): adds a catalogue alias `name` of `source`; warns when
    // `name` exists or `source` does not.
    int DublicateSurface(lua_State* L);
    // SetPreLoadInMemory(flag): whether the engine keeps texture files in memory from now on.
    int SetPreLoadInMemory(lua_State* L);
    // LoadSplash() -> name1, ..., namen: every PNG or JPEG file of the "Splash" folder becomes a
    // surface covering its whole texture; the names are remembered in SplashList.
    int LoadSplash(lua_State* L);
    // ReLoadSplash(): removes the splash surfaces and forgets the list. No results.
    int ReLoadSplash(lua_State* L);
    // Published, does nothing; not for the script.
    void LoadAllPNGFromPicturePath() {}

    // --- Viewer configuration ---
    // ParseParameters(): "KavViewer.config" when it exists, then the viewer command line, which
    // thus wins where both set a value. An X or Y attribute that is not an integer throws
    // EConvertError. No results.
    int ParseParameters(lua_State* L);
    void ParseParametersFromConfig();
    void ParseParametersFromParamStr();

    // --- Start-up pieces ---
    // Creates the script engine (not registering its own methods) and makes every published
    // method of the form a script global.
    void StartScriptEngine();
    // Reads the Textures.lua section of the script lines into PictureCatalogue.
    void ReadTexturesLua(const std::vector<std::string>& lines);
    // Index of the first catalogue entry named `name` exactly, or -1.
    int FindCatalogueEntry(std::string_view name) const;

    // --- Script bundle ---
    // LoadLuas(name, unused, settings): applies the project settings string when more than two
    // arguments are given. When that moves the per-user folder, each store the script has not
    // changed yet is read again from the new folder; a changed store keeps the script's values
    // (a warning says so) and is saved into the new folder from then on. No results.
    int LoadLuas(lua_State* L);
    // ReLoadLua(): joins "KavInterfaceTemplatesEngine.lua" and the other "*.lua" files of the
    // game folder, saves the result as "AllLua.lua", runs it (errors ignored) and sends the F5
    // key (116, 0) to the script. The error excerpts keep quoting the bundle the game started
    // with. A file that cannot be read throws EInOutError. No results.
    int ReLoadLua(lua_State* L);

    // --- Game parameters and profile ---
    // GetParamsFromCode() -> n, key1, value1, ..., keyn, valuen.
    int GetParamsFromCode(lua_State* L);
    // SetParamsToCode(text): applies "detalizationmode", "fullscreen" and "customcursor" found
    // in the lower-cased text, then replaces GameParams with the text's pairs and saves them.
    int SetParamsToCode(lua_State* L);
    // GetProfileFromCode() -> "key!value!key!value!..." ("" for an empty profile).
    int GetProfileFromCode(lua_State* L);
    // SetProfileToCode(text): replaces Profile with the text's pairs and saves it.
    int SetProfileToCode(lua_State* L);
    // SetProfileParam("key=value"): sets or appends one pair and saves; text without "=" does
    // nothing.
    int SetProfileParam(lua_State* L);

    // --- Drawing groups ---
    // GroupBegin(name [, offsetX, offsetY, scaleX, scaleY, alpha]): opens the group (or re-opens
    // it with new values) and makes it current.
    int GroupBegin(lua_State* L);
    // GroupEnd(name): removes the group and makes the top group current again.
    int GroupEnd(lua_State* L);

    // --- Other script functions ---
    // SetFormCaption(text): keeps the text in Caption.
    int SetFormCaption(lua_State* L);
    // WSurvey_BOk(): opens "Link.url" when present, then ends the program with exit code 0.
    int WSurvey_BOk(lua_State* L);

    // --- Sound ---
    // The script keeps the handles; 0 means no sound. Handles are read as rounded numbers,
    // volumes as integer percentages (0..100). Without an open output every call fails quietly.
    // InitSound(): opens the default output at 44100 Hz; logs the hint "Bass_Init", or the error
    // "Bass_Init not bass init" when there is no output (the game goes on without sound).
    int InitSound(lua_State* L);
    // LoadSound(name) -> handle, duration in ms. `name` relative to the current folder when that
    // file exists, else under DataPath. A missing file gives 0, 0; a file that cannot be opened
    // as a sound gives handle 0 and the failed length query's duration (-1000).
    int LoadSound(lua_State* L);
    // PlaySound(handle, volume): sets the volume and plays the sound from its beginning.
    int PlaySound(lua_State* L);
    // StopSound(handle): stops the sound and rewinds it.
    int StopSound(lua_State* L);
    // SetVolumeSound(handle, volume).
    int SetVolumeSound(lua_State* L);
    // FreeSounds("h1;h2;..."): frees each handle in order (a final ";" may be left out; empty
    // text frees nothing). A part that is not a decimal integer throws EConvertError; the
    // handles before it are freed, those after it are not.
    int FreeSounds(lua_State* L);

    // --- Host operations (published, not for the script) ---
    // Opens the web address of the Internet shortcut `target` with the desktop's browser; any
    // other target is logged as a warning and not opened.
    void OpenUrl(const std::string& target);
    // Calls the script's "G_EndGame"; a script error is reported through WriteErrorLines.
    void SaveGameBeforeGame();
    // Calls the script's "WOptions_OK_MouseUp_fromCode"; a script error is reported through
    // WriteErrorLines. When the script has not defined it, the name still means this very
    // operation: nothing is called and a hint is logged.
    void WOptions_OK_MouseUp_fromCode();

private:
    // Frees every stream LoadSound created that FreeSounds has not freed.
    void FreeLoadedSounds();
    // Handles LoadSound gave out and FreeSounds has not freed; kept for FormDestroy only.
    std::vector<uint32_t> LoadedSounds;

    // Parses "key=value;" pairs of `text` into `store` (cleared first).
    static void FillFromSettings(tAssArray& store, const std::string& text);
    // Empties the store and loads it from UserDataDir + fileName (a missing file leaves it
    // empty), first removing what saves of it cut short by a crash left behind. A file the game
    // cannot have saved (see DamagedStore.h) leaves the store empty; it is copied beside itself
    // under DamagedStoreName and a warning is logged.
    static void LoadStore(tAssArray& store, const char* fileName);
    // Saves the store to UserDataDir + fileName. A save that fails (a folder that cannot be
    // written, a full disk) leaves the old file whole and is logged as an error; the game goes on.
    static void SaveStore(const tAssArray& store, const char* fileName);
    // Saves the changed store to UserDataDir and notes the change.
    void SaveGameParams();
    void SaveProfile();
    // After LoadLuas moved the per-user folder: the stores follow it as LoadLuas describes.
    void FollowUserDataDir();

    // Finds PictureCatalogue entries by name for FindCatalogueEntry (every DrawPicture asks).
    TNameIndex<tTexSurface> catalogueIndex_;
};

}  // namespace hv
