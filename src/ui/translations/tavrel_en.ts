<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="en_US">
<context>
    <name>ActivityRow</name>
    <message>
        <location filename="../../menubar/ActivityRow.qml" line="+122"/>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+26"/>
        <source>Start</source>
        <extracomment>Starts sending the reviewed transfer.</extracomment>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CompactCompletionView</name>
    <message>
        <location filename="../../island/CompactCompletionView.qml" line="+19"/>
        <source>Completed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+12"/>
        <source>100 percent uploaded</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Tavrel, transfer completed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Press to show completed transfer details.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CompactIslandView</name>
    <message>
        <location filename="../../island/CompactIslandView.qml" line="+22"/>
        <source>Keyboard shortcut, Control Command M</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CompactUploadView</name>
    <message>
        <location filename="../../island/CompactUploadView.qml" line="+24"/>
        <source>Uploading...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+28"/>
        <source>%1 percent uploaded</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Tavrel upload</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Core</name>
    <message>
        <location filename="../../account/authentication_error.cpp" line="+12"/>
        <location filename="../../records/transfer_service_records.cpp" line="+165"/>
        <source>Your session has expired. Please sign in again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Sign in was cancelled.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <location filename="../../records/transfer_service_records.cpp" line="+6"/>
        <source>Tavrel is temporarily unavailable. Check your connection and retry.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Tavrel couldn’t reach your Keychain. Sign in again to reconnect.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+16"/>
        <source>Tavrel couldn’t complete sign in.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../program/session_transfer_api.cpp" line="+8"/>
        <source>Your session has ended.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../records/transfer_service_records.cpp" line="-3"/>
        <source>Tavrel returned an unexpected upload response.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../service/direct_upload_error.h" line="+29"/>
        <source>The operation couldn’t be completed. (DirectUploadError error %1.)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../service/native_upload_engine.cpp" line="+30"/>
        <source>This upload can no longer be resumed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>The request timed out.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Could not connect to the storage server.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>The network connection was lost.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>The file could not be read.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>The upload to storage failed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+37"/>
        <source>The upload failed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../service/tavrel_api_client.cpp" line="+11"/>
        <source>Tavrel rejected the upload request.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../service/tavrel_recent_transfers_api_client.cpp" line="+23"/>
        <source>Tavrel could not load recent transfers.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../service/upload_security_policy.cpp" line="+27"/>
        <source>Tavrel refused an unsafe upload instruction from the server.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../shareextension/core/share_extension_item_loader.cpp" line="+105"/>
        <source>Select at least one local file or folder to send.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Tavrel accepts up to 100 items at a time.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>One or more selected items aren’t local files or folders.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Save this item locally, then share it from Finder.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>One or more selected items are no longer available.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Finder didn’t finish preparing this item. Try sharing it again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../shareextension/core/share_extension_model.cpp" line="+11"/>
        <source>The share request is no longer available.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Tavrel couldn’t accept the shared items.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Tavrel couldn’t be opened. Open the app and try again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Tavrel didn’t respond. Open the app and try again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../sharehandoff/share_handoff_bookmark.cpp" line="+79"/>
        <source>The shared item’s bookmark could not be read.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../sharehandoff/share_handoff_coordinator.h" line="+60"/>
        <source>One or more shared items are no longer available.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../sharehandoff/share_handoff_storage_error.cpp" line="+8"/>
        <source>Tavrel couldn’t access its shared handoff container.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>The shared items could not be validated.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Too many shared items were provided.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>This shared request requires a newer version of Tavrel.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>The handoff file isn’t in the expected format.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../sharehandoff/share_handoff_storage_error.h" line="+29"/>
        <source>The handoff file could not be read or written (%1).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../transfer/transfer_preparation_error.cpp" line="+14"/>
        <source>No transferable files were found in this selection.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../transfer/transfer_preparation_error.h" line="+29"/>
        <source>Tavrel couldn’t read “%1”. Check its permissions and try again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>“%1” is a symbolic link and can’t be transferred securely.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../service/changed_file_error.h" line="+15"/>
        <source>“%1” changed while it was being sent. Send it again to upload its current contents.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../service/native_upload_engine.cpp" line="-41"/>
        <source>A secure connection to the storage server failed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../shareextension/core/share_extension_item_loader.h" line="+67"/>
        <source>“%1” is a symbolic link and can’t be sent. Share the original file or folder instead.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../sharehandoff/share_handoff_coordinator.h" line="-2"/>
        <source>Tavrel couldn’t reach the shared items in time. Try sharing them again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../transfer/transfer_feature_state.h" line="+150"/>
        <source>“%1” was moved or deleted after it was shared.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>“%1” and %2 more were moved or deleted after they were shared.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../desktop/launch_at_login_model.h" line="+21"/>
        <source>Tavrel couldn’t update Open at Login. Try again or review Login Items in System Settings.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../transfer/upload_progress_snapshot.h" line="+27"/>
        <source>%1 of %2</source>
        <extracomment>The file counter while uploading: the file being sent (%1) of all the transfer&apos;s files (%2), as in &quot;2 of 5&quot;.</extracomment>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DropAppendPlaceholder</name>
    <message>
        <location filename="../../island/DropAppendPlaceholder.qml" line="+26"/>
        <source>Drop to add files or folders</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>FilePicker</name>
    <message>
        <location filename="../../desktop/system_transfer_file_picker.cpp" line="+21"/>
        <source>Add Files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Choose one or more files for this transfer.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Add Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Choose one folder for this transfer.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Choose Files or Folders</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Choose one or more files or folders for this transfer.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../desktop/system_transfer_file_picker.h" line="+60"/>
        <source>Add</source>
        <extracomment>The file dialog&apos;s button that adds the chosen files and folders to a transfer.</extracomment>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Island</name>
    <message>
        <location filename="../../island/island_texts.cpp" line="+25"/>
        <location line="+75"/>
        <source>Calculating...</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <location line="-61"/>
        <source>%n days</source>
        <translation>
            <numerusform>%n day</numerusform>
            <numerusform>%n days</numerusform>
        </translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Sign In</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Sign in to Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Signing In</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Signing in to Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Loading</source>
        <extracomment>The island while the session is restored at start.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Restoring Tavrel sign in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Retry</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Tavrel unavailable. Press to retry.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Sending Unavailable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Sending is unavailable for this workspace</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Tavrel authenticated</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Preparing…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Transfer failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Ready to upload</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Untitled Transfer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+23"/>
        <source>Wait for the selected files to finish calculating.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Resumes the existing upload.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Prepares and uploads the selected files.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Image, %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Video, %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Folder, %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>File, %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../island/transfer_island_view_model.cpp" line="+78"/>
        <source>Close chooser</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Cancel selection</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Collapse upload</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Collapse completed transfer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+59"/>
        <source>Currently uploading %1, %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Transferred, %1 / %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+31"/>
        <source>Cancel Transfer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Clear All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Retry Transfer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Start Transfer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+23"/>
        <source>Transfer completed, %1, ready to share</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source> Copied </source>
        <extracomment>The Copy Link button&apos;s label for two seconds after the link was copied.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Copy Link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-12"/>
        <source>On</source>
        <extracomment>The value beside &quot;Preview&quot; on a sent transfer: recipients see its files previewed.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Off</source>
        <extracomment>The value beside &quot;Preview&quot; on a sent transfer: recipients see no previews.</extracomment>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>IslandHeader</name>
    <message>
        <location filename="../../island/IslandHeader.qml" line="+26"/>
        <source>Transfer settings</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MenuBarMenu</name>
    <message>
        <location filename="../../menubar/menu_bar_menu.cpp" line="+35"/>
        <source>View Transfers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Disable Tavrel Island</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Enable Tavrel Island</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Transfer Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Manage Account</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Open at Login</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Approve in System Settings…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Couldn’t Update Open at Login</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Open Login Items Settings…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <location line="+16"/>
        <source>Sign Out</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-1"/>
        <source>Retry</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Restoring Sign In...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Sign In</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Complete Sign In in Browser</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Cancel Sign In</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Quit Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MenuBarStatus</name>
    <message>
        <location filename="../../menubar/menu_bar_controller.cpp" line="+23"/>
        <source>Connecting</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Sign in required</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Signing in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Can’t connect to Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Uploading, %1 percent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Ready</source>
        <extracomment>The tray icon&apos;s description while signed in and nothing is being sent.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Sending unavailable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Preparing files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Ready to upload</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Transfer failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Transfer complete</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <location line="+5"/>
        <source>%1, %n failed</source>
        <extracomment>The status item&apos;s description (%1, as in &quot;Uploading, 42 percent&quot;) and how many transfers failed.</extracomment>
        <translation>
            <numerusform>%1, %n failed</numerusform>
            <numerusform>%1, %n failed</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <location line="+7"/>
        <source>%1, %n queued</source>
        <extracomment>The status item&apos;s description (%1, as in &quot;Uploading, 42 percent&quot;) and how many transfers wait their turn.</extracomment>
        <translation>
            <numerusform>%1, %n queued</numerusform>
            <numerusform>%1, %n queued</numerusform>
        </translation>
    </message>
    <message>
        <location line="+165"/>
        <source>Tavrel — %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Open Tavrel. %1.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MenuBarStatusIcon</name>
    <message>
        <location filename="../../menubar/status_icon/menu_bar_status_icon_renderer.cpp" line="+212"/>
        <source>Tavrel, uploading, %1 percent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Tavrel, preparing files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Tavrel, ready to upload</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Tavrel, transfer failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Tavrel, transfer complete</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Onboarding</name>
    <message>
        <location filename="../../onboarding/onboarding_view_model.cpp" line="+49"/>
        <source>Getting Tavrel ready...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Checking for an existing sign-in.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Getting Tavrel ready</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Share Files Fast &amp; Securely</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Tavrel lives in your menu bar and lets you share files without opening a browser.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Sign in to Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Sign In</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <location line="+5"/>
        <source>Finish in your browser</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-4"/>
        <source>Your browser will open to complete sign-in. You’ll return here automatically when you’re done.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <location line="+2"/>
        <source>Tavrel isn’t available right now</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Retry</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Use a Different Account</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+7"/>
        <location line="+12"/>
        <source>You are all set</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-11"/>
        <source>You’re signed in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Look for the Tavrel icon in your menu bar whenever you’re ready to send files.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-3"/>
        <source>Your workspace doesn’t currently allow you to start transfers.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-38"/>
        <source>Tavrel opens from your applications and lets you share files without opening a browser.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+45"/>
        <source>Open Tavrel from your applications whenever you’re ready to send files.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>You’re signed in, but sending is unavailable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Signed in as %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Done</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+80"/>
        <source>Checking for an existing sign-in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Waiting for sign-in...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+18"/>
        <source>You can still view existing transfers. Ask a workspace admin if you need sending access.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+46"/>
        <source>Available when your workspace allows sending.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Drag files near the top of your screen to start a transfer instantly.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Drag files at the top center of your screen to start a transfer.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+19"/>
        <source>Allows Tavrel to start automatically when you log in.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Stops Tavrel from starting automatically when you log in.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Approval is required in System Settings before Tavrel can start at login.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Adds Tavrel to your Login Items.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Approval is required before Tavrel can open at login.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Turn this on to add Tavrel to your Login Items.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../onboarding/onboarding_window_controller.cpp" line="+36"/>
        <source>Welcome to Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../onboarding/quick_drop_help_button_model.h" line="+43"/>
        <source>About Tavrel Island</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OnboardingView</name>
    <message>
        <location filename="../../onboarding/OnboardingView.qml" line="+17"/>
        <source>Welcome to Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+145"/>
        <source>Enable Tavrel Island</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+28"/>
        <source>Open Tavrel at Login</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+30"/>
        <source>Open System Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Opens the Login Items settings in System Settings</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PopoverActivity</name>
    <message>
        <location filename="../../menubar/popover_activity_model.cpp" line="+21"/>
        <source>Untitled Transfer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+18"/>
        <source>Cancel preparation</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Cancel upload</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Cancel queued transfer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Retry transfer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <source>%1 • Preparing</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>%1, preparing files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>%1 • Ready to upload</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+14"/>
        <source>%1, uploading, %2 percent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+20"/>
        <source>%1 • Queued</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>%1, queued</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Failed preparing • %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Failed uploading • %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>%1, failed preparing, %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1, failed uploading, %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PopoverRecent</name>
    <message>
        <location filename="../../menubar/popover_recent_model.cpp" line="+38"/>
        <source>%1, %2</source>
        <extracomment>A recent transfer as a screen reader reads its row: its title (%1), then its details (%2).</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>View %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Link copied</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Copy link</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PopoverStatusPanel</name>
    <message>
        <location filename="../../menubar/PopoverStatusPanel.qml" line="+44"/>
        <location line="+2"/>
        <source>Loading recent transfers…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Couldn’t load recent transfers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <location line="+111"/>
        <source>Retry</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-110"/>
        <source>View All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+20"/>
        <source>Transfer complete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>%1, transfer complete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+25"/>
        <source>Drop files or folders here</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>or click Upload Files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Connecting to Tavrel…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+3"/>
        <source>Restoring your sign-in.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-1"/>
        <source>Connecting to Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Sign in to Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Sign In</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <location line="+2"/>
        <source>Finish signing in through your browser.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Can’t connect to Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+18"/>
        <source>Attempts to reconnect to Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+15"/>
        <source>Sending unavailable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Your workspace doesn’t currently allow transfers.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PopoverTexts</name>
    <message numerus="yes">
        <location filename="../../menubar/popover_texts.cpp" line="+20"/>
        <source>%n sec.</source>
        <translation>
            <numerusform>%n sec.</numerusform>
            <numerusform>%n sec.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <location line="+2"/>
        <source>%n min.</source>
        <translation>
            <numerusform>%n min.</numerusform>
            <numerusform>%n min.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <location line="+2"/>
        <source>%n hr.</source>
        <translation>
            <numerusform>%n hr.</numerusform>
            <numerusform>%n hr.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <location line="+2"/>
        <source>%n days</source>
        <translation>
            <numerusform>%n day</numerusform>
            <numerusform>%n days</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <location line="+2"/>
        <source>%n wk.</source>
        <translation>
            <numerusform>%n wk.</numerusform>
            <numerusform>%n wk.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <location line="+2"/>
        <source>%n mo.</source>
        <translation>
            <numerusform>%n mo.</numerusform>
            <numerusform>%n mo.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <location line="+2"/>
        <source>%n yr.</source>
        <translation>
            <numerusform>%n yr.</numerusform>
            <numerusform>%n yr.</numerusform>
        </translation>
    </message>
    <message>
        <location line="+38"/>
        <source>in %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1 ago</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+18"/>
        <source>Calculating…</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <location line="-48"/>
        <source>%1 files</source>
        <translation>
            <numerusform>%1 file</numerusform>
            <numerusform>%1 files</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <location line="+59"/>
        <source>%1 folders</source>
        <translation>
            <numerusform>%1 folder</numerusform>
            <numerusform>%1 folders</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <location line="+1"/>
        <source>%1 items</source>
        <translation>
            <numerusform>%1 item</numerusform>
            <numerusform>%1 items</numerusform>
        </translation>
    </message>
    <message>
        <location line="+9"/>
        <source>%1 (%2)</source>
        <extracomment>The chosen items (%1, as in &quot;2 folders&quot;) and how many files they hold (%2, as in &quot;14 files&quot;).</extracomment>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PopoverTransferList</name>
    <message>
        <location filename="../../menubar/PopoverTransferList.qml" line="+57"/>
        <source>Activity</source>
        <extracomment>The popover&apos;s section of transfers being prepared, sent, queued or failed.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+11"/>
        <source>Recent</source>
        <extracomment>The popover&apos;s section of the account&apos;s latest sent transfers.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>View All</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ShareExtensionView</name>
    <message>
        <location filename="../../shareextension/ShareExtensionView.qml" line="+80"/>
        <source>Create a transfer link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Review your files, then create a link to share.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+35"/>
        <source>Preparing your files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Loading your selected items…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+27"/>
        <source>Unable to create link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+126"/>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Create Link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Retry</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Creating...</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ShareSheet</name>
    <message>
        <location filename="../../shareextension/app/tavrel_share_main.cpp" line="+97"/>
        <source>Send with Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../shareextension/share_item_list_model.cpp" line="+64"/>
        <source>FOLDER</source>
        <extracomment>The kind badge of a shared folder, in capitals like a file&apos;s extension (&quot;PDF&quot;).</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+11"/>
        <source>FILE</source>
        <extracomment>The kind badge of a shared file without an extension, in capitals like an extension (&quot;PDF&quot;).</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <location filename="../../shareextension/share_sheet_view_model.cpp" line="+110"/>
        <source>%n items</source>
        <translation>
            <numerusform>%n item</numerusform>
            <numerusform>%n items</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ShareSheetWindow</name>
    <message>
        <location filename="../../shareextension/ShareSheetWindow.qml" line="+12"/>
        <source>Send with Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TavrelButton</name>
    <message>
        <location filename="../../controls/TavrelButton.qml" line="+78"/>
        <source>destructive</source>
        <extracomment>Read by screen readers after a button&apos;s name: pressing it deletes or stops something.</extracomment>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TransferChooserView</name>
    <message>
        <location filename="../../island/TransferChooserView.qml" line="+24"/>
        <source>Start a new transfer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+30"/>
        <source>Drop here</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Drag your files or folders here</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Add files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Add folder</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TransferCompletionView</name>
    <message>
        <location filename="../../island/TransferCompletionView.qml" line="+42"/>
        <source>Transfer Completed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+22"/>
        <source>Copy Link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Copies the public transfer link to the clipboard.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+7"/>
        <source>View</source>
        <extracomment>Opens the sent transfer&apos;s page in the web browser.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+15"/>
        <source>Files</source>
        <extracomment>How many files the sent transfer holds.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Total size</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Expires In</source>
        <extracomment>Time until the sent transfer&apos;s link stops working.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Preview</source>
        <extracomment>Whether recipients see previews of the files.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Done</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Send More</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TransferNotifications</name>
    <message>
        <location filename="../../desktop/system_transfer_notifier.cpp" line="+34"/>
        <source>Transfer completed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Transfer failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+4"/>
        <source>%1 is ready to share.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1 couldn’t be uploaded. Open Tavrel to retry.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="../../desktop/freedesktop_notification_center.cpp" line="+90"/>
        <source>Open</source>
        <extracomment>The notification&apos;s action: opens the transfer (its page, or the popover at a failure).</extracomment>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TransferPopover</name>
    <message>
        <location filename="../../menubar/transfer_popover_view_model.cpp" line="+204"/>
        <source>Cancel this upload?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Sign out and stop all transfers?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Quit and stop all transfers?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+8"/>
        <source>The current upload will stop and cannot be resumed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Active and queued transfers will be cleared.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Cancel Upload</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Sign Out</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Quit Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Keep Uploading</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Keep Transfers Running</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+58"/>
        <source>Tavrel menu</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TransferPopoverView</name>
    <message>
        <location filename="../../menubar/TransferPopoverView.qml" line="+68"/>
        <source>Upload Files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+22"/>
        <source>Choose files or folders</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+22"/>
        <source>Tavrel menu</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+60"/>
        <location line="+5"/>
        <source>Drop to start a transfer</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TransferProgressView</name>
    <message>
        <location filename="../../island/TransferProgressView.qml" line="+92"/>
        <source>Uploading</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+24"/>
        <source>Upload progress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1 percent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+11"/>
        <source>Transferred</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+22"/>
        <source>Time left</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Speed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Abort Mission</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Stops the upload and returns to the selected files.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TransferReviewView</name>
    <message>
        <location filename="../../island/TransferReviewView.qml" line="+121"/>
        <source>Transfer name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+99"/>
        <source>Previous selected item</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Next selected item</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Clear All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Start Transfer</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>UploadProgressRing</name>
    <message>
        <location filename="../../controls/UploadProgressRing.qml" line="+108"/>
        <source>Upload progress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%1 percent</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
