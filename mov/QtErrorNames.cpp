#include "QtErrorNames.h"

#include <iterator>

namespace trelvan::mov {
namespace {

// One run of consecutive codes: the first code and the names of it and of
// the codes below it, counting down by one.
struct Run {
    int32_t first;
    const char* const* names;
    int count;
};

constexpr const char* kRun2000[] = {
    "couldNotResolveDataRef", "badImageDescription", "badPublicMovieAtom", "cantFindHandler",
    "cantOpenHandler", "badComponentType", "noMediaHandler", "noDataHandler", "invalidMedia",
    "invalidTrack", "invalidMovie", "invalidSampleTable", "invalidDataRef", "invalidHandler",
    "invalidDuration", "invalidTime", "cantPutPublicMovieAtom", "badEditList",
    "mediaTypesDontMatch", "progressProcAborted", "movieToolboxUninitialized", "wfFileNotFound",
    "cantCreateSingleForkFile", "invalidEditState", "nonMatchingEditState", "staleEditState",
    "userDataItemNotFound", "maxSizeToGrowTooSmall", "badTrackIndex", "trackIDNotFound",
    "trackNotInMovie", "timeNotInTrack", "timeNotInMedia", "badEditIndex",
    "internalQuickTimeError", "cantEnableTrack", "invalidRect", "invalidSampleNum",
    "invalidChunkNum", "invalidSampleDescIndex", "invalidChunkCache", "invalidSampleDescription",
    "dataNotOpenForRead", "dataNotOpenForWrite", "dataAlreadyOpenForWrite", "dataAlreadyClosed",
    "endOfDataReached", "dataNoDataRef", "noMovieFound", "invalidDataRefContainer",
    "badDataRefIndex", "noDefaultDataRef", "couldNotUseAnExistingSample", "featureUnsupported",
    "noVideoTrackInMovieErr", "noSoundTrackInMovieErr", "soundSupportNotAvailableErr",
    "unsupportedAuxiliaryImportData", "auxiliaryExportDataUnavailable",
    "samplesAlreadyInMediaErr", "noSourceTreeFoundErr", "sourceNotFoundErr",
    "movieTextNotFoundErr", "missingRequiredParameterErr", "invalidSpriteWorldPropertyErr",
    "invalidSpritePropertyErr", "gWorldsNotSameDepthAndSizeErr", "invalidSpriteIndexErr",
    "invalidImageIndexErr", "invalidSpriteIDErr", "internalComponentErr",
    "notImplementedMusicOSErr", "cantSendToSynthesizerOSErr", "cantReceiveFromSynthesizerOSErr",
    "illegalVoiceAllocationOSErr", "illegalPartOSErr", "illegalChannelOSErr", "illegalKnobOSErr",
    "illegalKnobValueOSErr", "illegalInstrumentOSErr", "illegalControllerOSErr",
    "midiManagerAbsentOSErr", "synthesizerNotRespondingOSErr", "synthesizerOSErr",
    "illegalNoteChannelOSErr", "noteChannelNotAllocatedOSErr", "tunePlayerFullOSErr",
    "tuneParseOSErr"};

constexpr const char* kRun2089[] = {
    "noExportProcAvailableErr", "videoOutputInUseErr", "componentDllLoadErr",
    "componentDllEntryNotFoundErr", "qtmlDllLoadErr", "qtmlDllEntryNotFoundErr",
    "qtmlUninitialized", "unsupportedOSErr", "unsupportedProcessorErr"};

// -2126 names a movie that may not be saved, with a word of explanation.
constexpr const char* kRun2101[] = {
    "cannotFindAtomErr", "notLeafAtomErr", "atomsNotOfSameTypeErr", "atomIndexInvalidErr",
    "duplicateAtomTypeAndIDErr", "invalidAtomErr", "invalidAtomContainerErr",
    "invalidAtomTypeErr", "cannotBeLeafAtomErr", "pathTooLongErr", "emptyPathErr",
    "noPathMappingErr", "pathNotVerifiedErr", "unknownFormatErr", "wackBadFileErr",
    "wackForkNotFoundErr", "wackBadMetaDataErr", "qfcbNotFoundErr", "qfcbNotCreatedErr",
    "AAPNotCreatedErr", "AAPNotFoundErr", "ASDBadHeaderErr", "ASDBadForkErr",
    "ASDEntryNotFoundErr", "fileOffsetTooBigErr",
    "notAllowedToSaveMovieErr\n残念ながらこのムービーは編集・保存することが許可されていません。",
    "qtNetworkAlreadyAllocatedErr"};

constexpr const char* kRun2129[] = {
    "urlDataHHTTPProtocolErr", "urlDataHHTTPNoNetDriverErr", "urlDataHHTTPURLErr",
    "urlDataHHTTPRedirectErr", "urlDataHFTPProtocolErr", "urlDataHFTPShutdownErr",
    "urlDataHFTPBadUserErr", "urlDataHFTPBadPasswordErr", "urlDataHFTPServerErr",
    "urlDataHFTPDataConnectionErr", "urlDataHFTPNoDirectoryErr", "urlDataHFTPQuotaErr",
    "urlDataHFTPPermissionsErr", "urlDataHFTPFilenameErr", "urlDataHFTPNoNetDriverErr",
    "urlDataHFTPBadNameListErr", "urlDataHFTPNeedPasswordErr", "urlDataHFTPNoPasswordErr",
    "urlDataHFTPServerDisconnectedErr", "urlDataHFTPURLErr", "notEnoughDataErr"};

constexpr const char* kRun2157[] = {"qtActionNotHandledErr"};

constexpr const char* kRun2201[] = {
    "digiUnimpErr", "qtParamErr", "matrixErr", "notExactMatrixErr", "noMoreKeyColorsErr",
    "notExactSizeErr", "badDepthErr", "noDMAErr", "badCallOrderErr"};

constexpr const char* kRun8960[] = {
    "codecErr", "noCodecErr", "codecUnimpErr", "codecSizeErr", "codecScreenBufErr",
    "codecImageBufErr", "codecSpoolErr", "codecAbortErr", "codecWouldOffscreenErr",
    "codecBadDataErr", "codecDataVersErr", "codecExtensionNotFoundErr", "codecConditionErr",
    "codecOpenErr", "codecCantWhenErr", "codecCantQueueErr", "codecNothingToBlitErr",
    "codecNoMemoryPleaseWaitErr", "codecDisabledErr", "codecNeedToFlushChainErr",
    "lockPortBitsBadSurfaceErr", "lockPortBitsWindowMovedErr", "lockPortBitsWindowResizedErr",
    "lockPortBitsWindowClippedErr", "lockPortBitsBadPortErr", "lockPortBitsSurfaceLostErr",
    "codecParameterDialogConfirm", "codecNeedAccessKeyErr", "codecOffscreenFailedErr",
    "codecDroppedFrameErr", "directXObjectAlreadyExists", "lockPortBitsWrongGDeviceErr",
    "codecOffscreenFailedPleaseRetryErr"};

constexpr const char* kRun30540[] = {
    "notAQTVRMovieErr", "constraintReachedErr", "callNotSupportedByNodeErr",
    "selectorNotSupportedByNodeErr", "invalidNodeIDErr", "invalidViewStateErr",
    "timeNotInViewErr", "propertyNotSupportedByNodeErr", "settingNotSupportedByNodeErr",
    "limitReachedErr", "invalidNodeFormatErr", "invalidHotSpotIDErr",
    "noMemoryNodeFailedInitialize", "streamingNodeNotReadyErr", "qtvrLibraryLoadErr",
    "qtvrUninitialized"};

#define TRELVAN_RUN(first, names) Run{first, names, static_cast<int>(std::size(names))}
constexpr Run kRuns[] = {
    TRELVAN_RUN(-2000, kRun2000), TRELVAN_RUN(-2089, kRun2089), TRELVAN_RUN(-2101, kRun2101),
    TRELVAN_RUN(-2129, kRun2129), TRELVAN_RUN(-2157, kRun2157), TRELVAN_RUN(-2201, kRun2201),
    TRELVAN_RUN(-8960, kRun8960), TRELVAN_RUN(-30540, kRun30540),
};
#undef TRELVAN_RUN

}  // namespace

std::string QtErrorName(int32_t code) {
    for (const Run& run : kRuns) {
        const int64_t at = static_cast<int64_t>(run.first) - code;
        if (at >= 0 && at < run.count) {
            return run.names[at];
        }
    }
    return kUnknownErrorName;
}

int QtErrorNameCount() {
    int n = 0;
    for (const Run& run : kRuns) {
        n += run.count;
    }
    return n;
}

}  // namespace trelvan::mov
