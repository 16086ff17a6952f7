<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="en_US">
<context>
    <name>ActivityRow</name>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CompactCompletionView</name>
    <message>
        <source>Completed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>100 percent uploaded</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel, transfer completed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Press to show completed transfer details.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CompactIslandView</name>
    <message>
        <source>Keyboard shortcut, Control Command M</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CompactUploadView</name>
    <message>
        <source>Uploading...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 percent uploaded</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel upload</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Core</name>
    <message>
        <source>Your session has expired. Please sign in again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign in was cancelled.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel is temporarily unavailable. Check your connection and retry.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel couldn’t reach your Keychain. Sign in again to reconnect.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel couldn’t complete sign in.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your session has ended.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel returned an unexpected upload response.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The operation couldn’t be completed. (DirectUploadError error %1.)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This upload can no longer be resumed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The request timed out.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not connect to the storage server.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The network connection was lost.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file could not be read.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The upload to storage failed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The upload failed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel rejected the upload request.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel could not load recent transfers.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel refused an unsafe upload instruction from the server.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select at least one local file or folder to send.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel accepts up to 100 items at a time.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>One or more selected items aren’t local files or folders.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save this item locally, then share it from Finder.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>One or more selected items are no longer available.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Finder didn’t finish preparing this item. Try sharing it again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The share request is no longer available.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel couldn’t accept the shared items.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel couldn’t be opened. Open the app and try again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel didn’t respond. Open the app and try again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The shared item’s bookmark could not be read.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>One or more shared items are no longer available.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel couldn’t access its shared handoff container.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The shared items could not be validated.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Too many shared items were provided.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This shared request requires a newer version of Tavrel.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The handoff file isn’t in the expected format.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The handoff file could not be read or written (%1).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No transferable files were found in this selection.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel couldn’t read “%1”. Check its permissions and try again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” is a symbolic link and can’t be transferred securely.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” changed while it was being sent. Send it again to upload its current contents.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A secure connection to the storage server failed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” is a symbolic link and can’t be sent. Share the original file or folder instead.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel couldn’t reach the shared items in time. Try sharing them again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” was moved or deleted after it was shared.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” and %2 more were moved or deleted after they were shared.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DropAppendPlaceholder</name>
    <message>
        <source>Drop to add files or folders</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>FilePicker</name>
    <message>
        <source>Add Files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose one or more files for this transfer.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose one folder for this transfer.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose Files or Folders</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose one or more files or folders for this transfer.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Island</name>
    <message>
        <source>Calculating...</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%n days</source>
        <translation>
            <numerusform>%n day</numerusform>
            <numerusform>%n days</numerusform>
        </translation>
    </message>
    <message>
        <source>Sign In</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign in to Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signing In</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signing in to Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Loading</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restoring Tavrel sign in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Retry</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel unavailable. Press to retry.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sending Unavailable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sending is unavailable for this workspace</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel authenticated</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preparing…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Transfer failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ready to upload</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Untitled Transfer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Wait for the selected files to finish calculating.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Resumes the existing upload.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Prepares and uploads the selected files.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Image, %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Video, %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Folder, %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File, %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close chooser</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel selection</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Collapse upload</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Collapse completed transfer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Currently uploading %1, %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Transferred, %1 / %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel Transfer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Clear All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Retry Transfer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start Transfer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Transfer completed, %1, ready to share</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> Copied </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy Link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>On</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Off</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>IslandHeader</name>
    <message>
        <source>Transfer settings</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MenuBarMenu</name>
    <message>
        <source>View Transfers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Disable Tavrel Island</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enable Tavrel Island</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Transfer Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Manage Account</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open at Login</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Approve in System Settings…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t Update Open at Login</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Login Items Settings…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign Out</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Retry</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restoring Sign In...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign In</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Complete Sign In in Browser</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel Sign In</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MenuBarStatus</name>
    <message>
        <source>Connecting</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign in required</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signing in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Can’t connect to Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Uploading, %1 percent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ready</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sending unavailable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preparing files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ready to upload</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Transfer failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Transfer complete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, %2 failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, %2 queued</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel — %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Tavrel. %1.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MenuBarStatusIcon</name>
    <message>
        <source>Tavrel, uploading, %1 percent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel, preparing files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel, ready to upload</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel, transfer failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel, transfer complete</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Onboarding</name>
    <message>
        <source>Getting Tavrel ready...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Checking for an existing sign-in.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Getting Tavrel ready</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Share Files Fast &amp; Securely</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel lives in your menu bar and lets you share files without opening a browser.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign in to Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign In</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Finish in your browser</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your browser will open to complete sign-in. You’ll return here automatically when you’re done.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel isn’t available right now</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Retry</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use a Different Account</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>You are all set</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>You’re signed in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Look for the Tavrel icon in your menu bar whenever you’re ready to send files.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your workspace doesn’t currently allow you to start transfers.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>You’re signed in, but sending is unavailable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signed in as %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Done</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Checking for an existing sign-in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Waiting for sign-in...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>You can still view existing transfers. Ask a workspace admin if you need sending access.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Available when your workspace allows sending.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drag files near the top of your screen to start a transfer instantly.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drag files at the top center of your screen to start a transfer.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Allows Tavrel to start automatically when you log in.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stops Tavrel from starting automatically when you log in.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Approval is required in System Settings before Tavrel can start at login.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Adds Tavrel to your Login Items.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Approval is required before Tavrel can open at login.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Turn this on to add Tavrel to your Login Items.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Welcome to Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About Tavrel Island</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>OnboardingView</name>
    <message>
        <source>Welcome to Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enable Tavrel Island</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Tavrel at Login</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open System Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Opens the Login Items settings in System Settings</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PopoverActivity</name>
    <message>
        <source>Untitled Transfer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel preparation</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel upload</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel queued transfer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Retry transfer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 • Preparing</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, preparing files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 • Ready to upload</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, uploading, %2 percent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 • Queued</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, queued</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed preparing • %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed uploading • %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, failed preparing, %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, failed uploading, %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PopoverRecent</name>
    <message>
        <source>%1, %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>View %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Link copied</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy link</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PopoverStatusPanel</name>
    <message>
        <source>Loading recent transfers…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t load recent transfers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Retry</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>View All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Transfer complete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, transfer complete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drop files or folders here</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>or click Upload Files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connecting to Tavrel…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restoring your sign-in.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connecting to Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign in to Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign In</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Finish signing in through your browser.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Can’t connect to Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Attempts to reconnect to Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sending unavailable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your workspace doesn’t currently allow transfers.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PopoverTexts</name>
    <message numerus="yes">
        <source>%n sec.</source>
        <translation>
            <numerusform>%n sec.</numerusform>
            <numerusform>%n sec.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n min.</source>
        <translation>
            <numerusform>%n min.</numerusform>
            <numerusform>%n min.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n hr.</source>
        <translation>
            <numerusform>%n hr.</numerusform>
            <numerusform>%n hr.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n days</source>
        <translation>
            <numerusform>%n day</numerusform>
            <numerusform>%n days</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n wk.</source>
        <translation>
            <numerusform>%n wk.</numerusform>
            <numerusform>%n wk.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n mo.</source>
        <translation>
            <numerusform>%n mo.</numerusform>
            <numerusform>%n mo.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n yr.</source>
        <translation>
            <numerusform>%n yr.</numerusform>
            <numerusform>%n yr.</numerusform>
        </translation>
    </message>
    <message>
        <source>in %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 ago</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Calculating…</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%1 files</source>
        <translation>
            <numerusform>%1 file</numerusform>
            <numerusform>%1 files</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1 folders</source>
        <translation>
            <numerusform>%1 folder</numerusform>
            <numerusform>%1 folders</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1 items</source>
        <translation>
            <numerusform>%1 item</numerusform>
            <numerusform>%1 items</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PopoverTransferList</name>
    <message>
        <source>Activity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Recent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>View All</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ShareExtensionView</name>
    <message>
        <source>Create a transfer link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Review your files, then create a link to share.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preparing your files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Loading your selected items…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to create link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Create Link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Retry</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Creating...</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ShareSheet</name>
    <message>
        <source>Send with Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>FOLDER</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>FILE</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
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
        <source>Send with Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TavrelButton</name>
    <message>
        <source>destructive</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TransferChooserView</name>
    <message>
        <source>Start a new transfer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drop here</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drag your files or folders here</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add folder</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TransferCompletionView</name>
    <message>
        <source>Transfer Completed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy Link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copies the public transfer link to the clipboard.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>View</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Total size</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Expires In</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preview</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Done</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Send More</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TransferNotifications</name>
    <message>
        <source>Transfer completed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Transfer failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is ready to share.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 couldn’t be uploaded. Open Tavrel to retry.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TransferPopover</name>
    <message>
        <source>Cancel this upload?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign out and stop all transfers?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit and stop all transfers?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The current upload will stop and cannot be resumed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Active and queued transfers will be cleared.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel Upload</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign Out</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit Tavrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Keep Uploading</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Keep Transfers Running</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel menu</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TransferPopoverView</name>
    <message>
        <source>Upload Files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose files or folders</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrel menu</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drop to start a transfer</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TransferProgressView</name>
    <message>
        <source>Uploading</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upload progress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 percent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Transferred</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Time left</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Speed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Abort Mission</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stops the upload and returns to the selected files.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TransferReviewView</name>
    <message>
        <source>Transfer name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Previous selected item</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Next selected item</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Clear All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start Transfer</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>UploadProgressRing</name>
    <message>
        <source>Upload progress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 percent</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
