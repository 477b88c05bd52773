<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
    <context>
        <name>AndroidLoadViberThread</name>
        <message>
            <source>IDS_ROOT_ROUTINE_FAILED_WILL_TRY_ADBBACKUP</source>
            <translation>Failed to backup data from your root device. Click &quot;OK&quot; button then the software will try again in another mode.</translation>
        </message>
    </context>
    <context>
        <name>AndroidRestoreViberThread</name>
        <message>
            <source>IDS_ROOT_ROUTINE_FAILED_WILL_TRY_ADBBACKUP</source>
            <translation>Failed to restore history to your root device. Click &quot;OK&quot; button then the software will try restoring again in another mode.</translation>
        </message>
    </context>
    <context>
        <name>Velliport</name>
        <message>
            <source>IDS_ANDROID_12_RESTORE_NEEDS_ROOT</source>
            <translation>This phone runs Android 12 or later, which ignores restore archives for Viber, so messages cannot be transferred into it that way. Transferring messages into this phone needs a rooted phone.</translation>
        </message>
        <message>
            <source>IDS_ERROR_REPORT_WILL_BE_SENT_TO_%1</source>
            <translation>This message will be sent as an error report to %1. It may contain names, phone numbers and file paths.</translation>
        </message>
        <message>
            <source>IDS_LINUX_PORTWARDEN_HELP_%1</source>
            <translation>Another program holds the port of the ADB server. &lt;a href="%1"&gt;Portwarden&lt;/a&gt; can end the programs that hold it, but only programs of your own user; a program of another user or of the system has to be ended by that user or by the administrator.</translation>
        </message>
        <message>
            <source>IDS_LINUX_USB_SETUP_HELP</source>
            <translation>Linux needs no USB driver software. Install the adb package (sudo apt install adb), which also brings the udev rules that let your user reach Android phones, make sure your user is in the plugdev group (sudo usermod -aG plugdev $USER, then log in again), and reconnect the phone.</translation>
        </message>
        <message>
            <source>IDS_NEW_VERSION_AVAILABLE_%1</source>
            <translation>A new version of %1 is available. Would you like to download it now?</translation>
        </message>
        <message>
            <source>IDS_NO_WEB_SITE_CONFIGURED</source>
            <translation>No web site is configured for this copy of Velliport.</translation>
        </message>
        <message>
            <source>IDS_PRINT_MANY_MESSAGES_%1</source>
            <translation>You are about to print %1 messages. The preview lays out every page before it shows, which takes a long while and keeps the window busy. Print them anyway?</translation>
        </message>
        <message>
            <source>IDS_MODERN_TRANSFER_NOTICE</source>
            <translation>This phone runs today's Viber. Velliport writes into its databases by their published layout, which Viber does not document, so this transfer is experimental. Before anything reaches the phone, Velliport runs Viber's own views of chats, messages, unread counts and search on the merged copy and stops if the added messages do not appear as the phone's own. A copy of the phone's databases is kept first: Undo Last Transfer puts it back. Go on?</translation>
        </message>
        <message>
            <source>IDS_SCHEDULED_RUN_FAILED_%1_%2</source>
            <translation>Velliport: the scheduled backup of phone %1 into %2 failed</translation>
        </message>
        <message>
            <source>IDS_SCHEDULED_RUN_NO_PHONE_%1_%2</source>
            <translation>The phone %1 did not appear in adb's device list within %2 seconds: it was off, out of reach or its debugging was off.</translation>
        </message>
        <message>
            <source>IDS_SCHEDULED_RUN_NO_ADB</source>
            <translation>adb was not found on the PATH: install Android's platform tools to back up phones.</translation>
        </message>
        <message>
            <source>IDS_SCHEDULED_RUN_STOPPED_WAITING</source>
            <translation>Stopped while waiting for the phone.</translation>
        </message>
        <message>
            <source>IDS_MODERN_TRANSFER_CHECK_FAILED_%1_%2</source>
            <translation>The transfer stopped before anything reached the phone: in the merged copy, Viber's %1 does not show the added messages as it shows the phone's own (%2). Nothing was changed: the phone keeps its Viber history as it was.</translation>
        </message>
        <message>
            <source>IDS_TRANSFER_LEFT_OUT_WITHOUT_NUMBER_%1</source>
            <translation>%1 messages were left out: their chat or sender has no phone number by which the phone's Viber could know the person.</translation>
        </message>
        <message>
            <source>IDS_DESKTOP_VIBER_DB_ENCRYPTED</source>
            <translation>This Viber desktop version encrypts its message history, so the history in this viber.db cannot be read.</translation>
        </message>
        <message>
            <source>IDS_UNKNOWN_VIBER_DATABASE_%1</source>
            <translation>%1 is not a Viber message database this program can read.</translation>
        </message>
        <message>
            <source>IDS_IPHONE_BACKUP_ENCRYPTED</source>
            <translation>This iPhone backup is encrypted: its Viber history is read with the backup's password (the one set for "Encrypt local backup" in Finder or iTunes). The window asks for it when you select the backup; the command line takes it with velliport-cli --password-file.</translation>
        </message>
        <message>
            <source>IDS_IPHONE_BACKUP_FILE_RECORD_DAMAGED_%1</source>
            <translation>The encrypted iPhone backup holds no usable key for the file %1, so it cannot be read.</translation>
        </message>
        <message>
            <source>IDS_IPHONE_BACKUP_FILE_DAMAGED_%1_%2</source>
            <translation>The file %1 of the encrypted iPhone backup does not match its record (%2): the backup may still be being written or be damaged.</translation>
        </message>
        <message>
            <source>IDS_MI_SEARCH_HISTORIES</source>
            <translation>Search All Histories…</translation>
        </message>
        <message>
            <source>IDS_SEARCH_HISTORIES_TITLE</source>
            <translation>Search all histories</translation>
        </message>
        <message>
            <source>IDS_SEARCH_HISTORIES_PLACEHOLDER</source>
            <translation>Words, "a phrase" or the start of a word*, then Enter</translation>
        </message>
        <message>
            <source>IDS_SEARCH_COLUMN_DATABASE</source>
            <translation>Database</translation>
        </message>
        <message>
            <source>IDS_SEARCH_COLUMN_CHAT</source>
            <translation>Chat</translation>
        </message>
        <message>
            <source>IDS_SEARCH_COLUMN_SENDER</source>
            <translation>Sender</translation>
        </message>
        <message>
            <source>IDS_SEARCH_COLUMN_DATE</source>
            <translation>Date</translation>
        </message>
        <message>
            <source>IDS_SEARCH_COLUMN_MESSAGE</source>
            <translation>Message</translation>
        </message>
        <message>
            <source>IDS_SEARCH_SENDER_ME</source>
            <translation>Me</translation>
        </message>
        <message>
            <source>IDS_SEARCHING</source>
            <translation>Searching…</translation>
        </message>
        <message>
            <source>IDS_SEARCH_FOUND_%1</source>
            <translation>%1 messages found (the newest first).</translation>
        </message>
        <message>
            <source>IDS_SEARCH_NOT_SEARCHED_%1</source>
            <translation>Not searched: %1</translation>
        </message>
        <message>
            <source>IDS_SEARCH_HIT_GONE</source>
            <translation>This message is no longer in its local database.</translation>
        </message>
        <message>
            <source>IDS_UPDATING_SEARCH_INDEX</source>
            <translation>Updating the search index…</translation>
        </message>
        <message>
            <source>IDS_IPHONE_BACKUP_UNFINISHED</source>
            <translation>This iPhone backup is still being written, or its writing stopped before the end: its Viber history may be incomplete. Let Finder or iTunes finish the backup, then open it again.</translation>
        </message>
        <message>
            <source>IDS_IPHONE_BACKUP_DAMAGED</source>
            <translation>The file list of this iPhone backup (Manifest.db) is damaged, so its Viber history cannot be found.</translation>
        </message>
        <message>
            <source>IDS_IPHONE_BACKUP_NO_VIBER</source>
            <translation>This iPhone backup holds no Viber history.</translation>
        </message>
        <message>
            <source>IDS_IPHONE_BACKUP_WRONG_PASSWORD</source>
            <translation>This password does not open the encrypted iPhone backup. Please enter the password set for encrypted local backups in Finder or iTunes.</translation>
        </message>
        <message>
            <source>IDS_IPHONE_BACKUP_KEYBAG_DAMAGED</source>
            <translation>The keys of this encrypted iPhone backup (in Manifest.plist) are damaged, so it cannot be opened.</translation>
        </message>
        <message>
            <source>IDS_IPHONE_BACKUP_LOCKED</source>
            <translation>Encrypted iPhone backup: select it and enter its password to read it.</translation>
        </message>
        <message>
            <source>IDS_IPHONE_BACKUP_PASSWORD_PROMPT_%1</source>
            <translation>The iPhone backup "%1" is encrypted. Please enter the password set for encrypted local backups in Finder or iTunes. It is kept in memory only until Velliport ends.</translation>
        </message>
        <message>
            <source>IDS_IPHONE_BACKUP_UNLOCKING</source>
            <translation>Checking the password of the encrypted backup...</translation>
        </message>
        <message>
            <source>IDS_IPHONE_BACKUP_UNLOCK_LEFT_%1</source>
            <translation>About %1 s left</translation>
        </message>
        <message>
            <source>IDS_IPHONE_BACKUP_READING</source>
            <translation>Reading the iPhone backup...</translation>
        </message>
        <message>
            <source>IDS_RESTORE_NEEDS_BACKUP_OF_THIS_PHONE</source>
            <translation>Messages can only be transferred into this phone with a restore archive made from a backup of this phone, and there is none. Load the phone again, confirm the backup on its screen, and then transfer the messages again.</translation>
        </message>
        <message>
            <source>IDS_RESTORE_SKIPPED_MISSING_FILES_%1</source>
            <translation>%1 attachment files were missing or empty on this computer and were not copied to the phone.</translation>
        </message>
        <message>
            <source>IDS_RESTORE_NOT_FINISHED</source>
            <translation>The phone did not finish restoring the Viber data, so the messages may not have been transferred. Please re-connect your Android Phone and try again.</translation>
        </message>
        <message>
            <source>IDS_ADB_BACKUP_TIPS</source>
            <translation>Now unlock your Android Phone and click the &quot;Back up my data&quot; button on its screen. Do not enter a password. When the backup has finished, come back here and click the &quot;OK&quot; button to continue.</translation>
        </message>
        <message>
            <source>IDS_ADB_RESTORE_TIPS</source>
            <translation>Now go to your Android Phone screen and click the button to restore Viber data on Android. After finish, please back here and click the &quot;OK&quot; button to continue.</translation>
        </message>
        <message>
            <source>IDS_ANDROID_40_ABOVE_USB_MUST</source>
            <translation>Device with Android 4.0 or above can only connect via USB.</translation>
        </message>
        <message>
            <source>IDS_ANDROID_12_BACKUP_LEAVES_OUT_VIBER</source>
            <translation>This phone runs Android 12 or later, which leaves Viber out of backups, so Viber&apos;s history cannot be read through a backup. Loading it needs a rooted phone.</translation>
        </message>
        <message>
            <source>IDS_ANDROID_DEVICE_UNAUTHORIZED_%1</source>
            <translation>The phone %1 is waiting for its owner to allow USB debugging for this computer. On the phone: unlock it, then in the dialog &quot;Allow USB debugging?&quot; tick &quot;Always allow from this computer&quot; and tap &quot;Allow&quot;. If no dialog shows, unplug the phone and plug it in again; if it still does not show, tap &quot;Revoke USB debugging authorizations&quot; in the phone's Developer options and plug the phone in again.</translation>
        </message>
        <message>
            <source>IDS_ANDROID_DEVICE_OFFLINE_%1</source>
            <translation>The phone %1 is plugged in, but its USB debugging does not answer (adb lists it as offline). Unplug the phone and plug it in again; use a cable that carries data, and if the phone asks what the USB connection is for, choose &quot;File transfer&quot;. If it stays offline, end the ADB server with the command &quot;adb kill-server&quot; and plug the phone in again.</translation>
        </message>
        <message>
            <source>IDS_ANDROID_DEVICE_NO_PERMISSIONS_%1_%2</source>
            <translation>Your user account on this computer may not open the phone %1 (adb says: %2). On Debian and Ubuntu, install the package android-sdk-platform-tools-common, whose udev rules give Android phones to the group plugdev, add yourself to that group with &quot;sudo adduser $USER plugdev&quot;, log out and in again, and plug the phone in again.</translation>
        </message>
        <message>
            <source>IDS_ANDROID_DEVICE_NOT_READY_%1_%2</source>
            <translation>The phone %1 is not ready for USB debugging: adb lists it as &quot;%2&quot;. Wait until the phone has started normally, unlock it, and if that does not help, unplug it and plug it in again.</translation>
        </message>
        <message>
            <source>IDS_ANDROID_NO_EXTERNAL_STORAGE_CANNOT_READ_MEDIA</source>
            <translation>Can't read external storage in Android because your SD card is mounted.  Click &quot;YES&quot; to continue without loading Viber attachment files or click &quot;No&quot; to reconnect Android in Charging mode and try again.</translation>
        </message>
        <message>
            <source>IDS_ANDROID_NO_EXTERNAL_STORAGE_CONFIRM_IGNORE_ATTACHMENTS</source>
            <translation>Can't write data to external storage in Android because your SD card is mounted. Click &quot;YES&quot; to continue without transferring Viber attachment files or click &quot;No&quot; to reconnect Android in Charging mode and try again.</translation>
        </message>
        <message>
            <source>IDS_ANDROID_RESTORING_VIBER_MESSAGES</source>
            <translation>Transferring Messages to Android...</translation>
        </message>
        <message>
            <source>IDS_BACKING_UP_VIBER_MESSAGES</source>
            <translation>Backing up Viber messages...</translation>
        </message>
        <message>
            <source>IDS_BEFORE_RESTORE_VIBER_TO_ANDROID_RELOAD_FIRST</source>
            <translation>The software will backup existing Viber data on Android before transferring Messages to Android. Now simply click &quot;OK&quot; to start.</translation>
        </message>
        <message>
            <source>IDS_CANNOT_SAVE_VIBER_CALLS_DB_TRY_AGAIN</source>
            <translation>Faild to save Viber data. Please re-connect your Android Phone to try again.</translation>
        </message>
        <message>
            <source>IDS_CANNOT_SAVE_VIBER_DB_TRY_AGAIN_%1</source>
            <translation>Faild to save Viber messages. Please re-connect your Android Phone to try again. %1</translation>
        </message>
        <message>
            <source>IDS_CAN_NOT_FOUNDCONTACT_KEYWORD_%0</source>
            <translation>Find no contact with keyword %1.</translation>
        </message>
        <message>
            <source>IDS_CAN_NOT_FOUNDSMS_KEYWORD_%0</source>
            <translation>Find no Message with keyword %1.</translation>
        </message>
        <message>
            <source>IDS_CAN_NOT_FOUND_AND_MESSAGES</source>
            <translation>Can't find any Message.</translation>
        </message>
        <message>
            <source>IDS_CHECKING_APK_INSTALL</source>
            <translation>Checking and installing Kestrune Relaypod now...</translation>
        </message>
        <message>
            <source>IDS_CLEAR_CACHE</source>
            <translation>Clear Cache files</translation>
        </message>
        <message>
            <source>IDS_CONFIRM_DEL_SEL_MESSAGES</source>
            <translation>Confirm to delete selected Messages?</translation>
        </message>
        <message>
            <source>IDS_CONFIRM_DEL_THIS_CHAT</source>
            <translation>Confirm to delete Messages with this contact?</translation>
        </message>
        <message>
            <source>IDS_CONFIRM_DEL_THIS_LOCALDB</source>
            <translation>Confirm to delete this database?</translation>
        </message>
        <message>
            <source>IDS_CONNECTING_ANDROID_DEVICE</source>
            <translation>Connecting to Android...</translation>
        </message>
        <message>
            <source>IDS_DELETING_VIBER_MESSAGES</source>
            <translation>Deleting messages...</translation>
        </message>
        <message>
            <source>IDS_DEL_LOCALDB_SUC</source>
            <translation>Successfully deleted database.</translation>
        </message>
        <message>
            <source>IDS_ADB_BACKUP_DECLINED</source>
            <translation>Can&apos;t read Viber data from Android device.

The backup was declined on the phone, so nothing was loaded. Please load again and tap &quot;Back up my data&quot; on your phone when it asks.</translation>
        </message>
        <message>
            <source>IDS_DEL_LOCALDB_FAILED</source>
            <translation>Could not delete the database folder %1. Close any program that uses it and try again.</translation>
        </message>
        <message>
            <source>IDS_DOWNLOADING_FILE_%1</source>
            <translation>Loading %1...</translation>
        </message>
        <message>
            <source>IDS_EXPORTING_MESSAGES_TO_FILE</source>
            <translation>Exporting Messages...</translation>
        </message>
        <message>
            <source>IDS_EXPORT_VIBER_CALLS</source>
            <translation>Extracting call history...</translation>
        </message>
        <message>
            <source>IDS_EXTRACTING_MEDIA_FILES</source>
            <translation>Extracting attachments...</translation>
        </message>
        <message>
            <source>IDS_GET_ANDROID_DEVICE_INFO</source>
            <translation>Getting Android info...</translation>
        </message>
        <message>
            <source>IDS_WIFI_PHONE_NO_LONGER_ANSWERS_%1</source>
            <translation>The phone no longer answers over WiFi (%1). Its agent has ended: the phone went to sleep, the app was closed, or it stayed unused too long. Start the agent on the phone again (or prepare the phone for WiFi over USB) and reconnect.</translation>
        </message>
        <message>
            <source>IDS_WIFI_RECONNECT_%1</source>
            <translation>%1 no longer answers over WiFi. Open the WiFi dialog to reconnect it?</translation>
        </message>
        <message>
            <source>IDS_INVALID_LOCALDB_NAME</source>
            <translation>Invalid Local Database name(can't contain \ / : * ? &quot; &lt; &gt; |).</translation>
        </message>
        <message>
            <source>IDS_LOADING_ADNROID_VIBER_FILES</source>
            <translation>Loading Viber Data...</translation>
        </message>
        <message>
            <source>IDS_MERGING_VIBER_CALLS</source>
            <translation>Saving call history...</translation>
        </message>
        <message>
            <source>IDS_MERGING_VIBER_MESSAGES</source>
            <translation>Saving messages...</translation>
        </message>
        <message>
            <source>IDS_MI_A2A_ALL</source>
            <translation>Transfer Android Messages to other Android</translation>
        </message>
        <message>
            <source>IDS_MI_A2A_CHAT</source>
            <translation>Transfer Messages with this Contact to other Android</translation>
        </message>
        <message>
            <source>IDS_MI_A2A_SEL</source>
            <translation>Transfer selected Messages to other Android</translation>
        </message>
        <message>
            <source>IDS_MI_A2A_TOOLBAR</source>
            <translation>Transfer Messages from Android to Android</translation>
        </message>
        <message>
            <source>IDS_MI_ABOUT</source>
            <translation>About</translation>
        </message>
        <message>
            <source>IDS_MI_BACKUP_ALL</source>
            <translation>Backup Messages</translation>
        </message>
        <message>
            <source>IDS_MI_BACKUP_CHAT</source>
            <translation>Backup Messages with this Contact</translation>
        </message>
        <message>
            <source>IDS_MI_BACKUP_SEL</source>
            <translation>Backup selected Messages</translation>
        </message>
        <message>
            <source>IDS_MI_BACKUP_TOOLBAR</source>
            <translation>Backup Messages</translation>
        </message>
        <message>
            <source>IDS_MI_CHECK_UPDATE</source>
            <translation>Check for Update</translation>
        </message>
        <message>
            <source>IDS_MI_DB2A_ALL</source>
            <translation>Transfer Messages from Database to Android</translation>
        </message>
        <message>
            <source>IDS_MI_DB2A_CHAT</source>
            <translation>Transfer Messages with this Contact to Android</translation>
        </message>
        <message>
            <source>IDS_MI_DB2A_SEL</source>
            <translation>Transfer selected Messages from Database to Android</translation>
        </message>
        <message>
            <source>IDS_MI_DB2A_TOOLBAR</source>
            <translation>Transfer Messages from Database to Android</translation>
        </message>
        <message>
            <source>IDS_MI_DELETE_ALL</source>
            <translation>Delete Messages</translation>
        </message>
        <message>
            <source>IDS_MI_DELETE_CHAT</source>
            <translation>Delete Messages with this Contact</translation>
        </message>
        <message>
            <source>IDS_MI_DELETE_SEL</source>
            <translation>Delete selected Messages</translation>
        </message>
        <message>
            <source>IDS_MI_DELETE_TOOLBAR</source>
            <translation>Delete</translation>
        </message>
        <message>
            <source>IDS_MI_EXIT</source>
            <translation>Exit</translation>
        </message>
        <message>
            <source>IDS_MI_EXPORT_ALL</source>
            <translation>Export Messages to File</translation>
        </message>
        <message>
            <source>IDS_MI_EXPORT_CALL_ALL</source>
            <translation>Extract Call Log</translation>
        </message>
        <message>
            <source>IDS_MI_EXPORT_CALL_CHAT</source>
            <translation>Extract Call Log with this Contact</translation>
        </message>
        <message>
            <source>IDS_MI_EXPORT_CALL_TOOLBAR</source>
            <translation>Extract Call Log</translation>
        </message>
        <message>
            <source>IDS_MI_EXPORT_CHAT</source>
            <translation>Export Messages with this Contact to File</translation>
        </message>
        <message>
            <source>IDS_MI_EXPORT_SEL</source>
            <translation>Export selected Messages to File</translation>
        </message>
        <message>
            <source>IDS_MI_EXPORT_TOOLBAR</source>
            <translation>Export Messages to File</translation>
        </message>
        <message>
            <source>IDS_MI_EXTRACT_MEDIA_All</source>
            <translation>Extract Messages Attachments</translation>
        </message>
        <message>
            <source>IDS_MI_EXTRACT_MEDIA_CHAT</source>
            <translation>Extract Attachments from Messages with this Contact</translation>
        </message>
        <message>
            <source>IDS_MI_EXTRACT_MEDIA_SEL</source>
            <translation>Export Attachments from selected Messages</translation>
        </message>
        <message>
            <source>IDS_MI_EXTRACT_MEDIA_TOOLBAR</source>
            <translation>Extract Attachments</translation>
        </message>
        <message>
            <source>IDS_MI_FEEDBACK</source>
            <translation>Feedback and Support</translation>
        </message>
        <message>
            <source>IDS_MI_HELP</source>
            <translation>Help</translation>
        </message>
        <message>
            <source>IDS_MI_IMPORT_FROM_PC</source>
            <translation>Import Messages from Viber Desktop</translation>
        </message>
        <message>
            <source>IDS_MI_OPEN_DB_FOLDER</source>
            <translation>Open Database Folder</translation>
        </message>
        <message>
            <source>IDS_MI_PRINT_ALL</source>
            <translation>Print Messages</translation>
        </message>
        <message>
            <source>IDS_MI_PRINT_CHAT</source>
            <translation>Print Messages with this Contact</translation>
        </message>
        <message>
            <source>IDS_MI_PRINT_SEL</source>
            <translation>Print selected Messages</translation>
        </message>
        <message>
            <source>IDS_MI_PRINT_TOOLBAR</source>
            <translation>Print Messages</translation>
        </message>
        <message>
            <source>IDS_MI_UNMOUNT_DEVICE</source>
            <translation>Disconnect Device</translation>
        </message>
        <message>
            <source>IDS_NOT_INSTALL_VIBER</source>
            <translation>Can't find Viber installed on device.</translation>
        </message>
        <message>
            <source>IDS_NOT_SUPPORT_ANDROID_40_BELOW</source>
            <translation>Root is required for Device with Android 4.0 or earlier.</translation>
        </message>
        <message>
            <source>IDS_PLEASE_SELECT_DATABASE_OR_INPUT_NEW_NAME</source>
            <translation>Select one Database or enter a new Database name</translation>
        </message>
        <message>
            <source>IDS_PLEASE_SELECT_ONE_DATASOURCE</source>
            <translation>Need to select a Device to continue.</translation>
        </message>
        <message>
            <source>IDS_PRINT_MESSAGES</source>
            <translation>Print Messages</translation>
        </message>
        <message>
            <source>IDS_ROOT_CANNOT_FETCH_msgstore.db</source>
            <translation>Failed to transfer viber_messages file from your root device.</translation>
        </message>
        <message>
            <source>IDS_ROOT_CANNOT_SAVE_FILE_viber_data_TO_DEVIDE</source>
            <translation>Failed to transfer viber_data file to your root device.</translation>
        </message>
        <message>
            <source>IDS_ROOT_CANNOT_SAVE_FILE_viber_messages_TO_DEVIDE</source>
            <translation>Failed to transfer viber_messages file to your root device.</translation>
        </message>
        <message>
            <source>IDS_ROOT_DEVICE</source>
            <translation>Devices</translation>
        </message>
        <message>
            <source>IDS_UNDO_TRANSFER_CONFIRM_%1_%2_%3</source>
            <translation>Put back the Viber history this phone had before the transfer of %1 (%2 messages written)? Everything the phone received or sent since that transfer is lost with it: %3 messages dated after it.</translation>
        </message>
        <message>
            <source>IDS_MI_UNDO_LAST_TRANSFER</source>
            <translation>Undo Last Transfer</translation>
        </message>
        <message>
            <source>IDS_UNDO_NO_KEPT_COPY</source>
            <translation>There is no transfer into this phone to undo: Velliport keeps no copy of its databases from before a transfer.</translation>
        </message>
        <message>
            <source>IDS_UNDO_COPY_OF_ANOTHER_PHONE</source>
            <translation>The copy kept for the last transfer belongs to another phone; it is not put on this one.</translation>
        </message>
        <message>
            <source>IDS_UNDO_NEEDS_ROOT</source>
            <translation>Undoing a transfer writes Viber&apos;s databases with root rights: this phone is not rooted or has no shared storage.</translation>
        </message>
        <message>
            <source>IDS_UNDO_TRANSFER_RUNNING</source>
            <translation>Putting back the Viber history from before the transfer...</translation>
        </message>
        <message>
            <source>IDS_UNDO_TRANSFER_DONE_%1</source>
            <translation>The phone&apos;s Viber history is back as it was before the transfer of %1.</translation>
        </message>
        <message>
            <source>IDS_PHONE_KEPT_ITS_DATABASES</source>
            <translation>Nothing was changed: the phone keeps its Viber history as it was.</translation>
        </message>
        <message>
            <source>IDS_PHONE_MAY_HOLD_PART_OF_TRANSFER</source>
            <translation>The phone could not be put back to its previous Viber databases and may hold part of this transfer. Connect it again and choose &quot;Undo Last Transfer&quot; to go back to the history it had before.</translation>
        </message>
        <message>
            <source>IDS_PHONE_STEP_FAILED_%1_%2</source>
            <translation>Writing the Viber databases on the phone failed at &quot;%1&quot; (exit code %2).</translation>
        </message>
        <message>
            <source>IDS_PHONE_COPY_DIFFERS_%1</source>
            <translation>The copy of %1 on the phone is not the file that was sent.</translation>
        </message>
        <message>
            <source>IDS_PHONE_%1_DISCONNECTED_COMMAND_STOPPED</source>
            <translation>The phone %1 was disconnected; the command was stopped.</translation>
        </message>
        <message>
            <source>IDS_ROOT_INVALID_AUTHORIZATION</source>
            <translation>Failed to access device. Please reconnect your phone to try again. When a message pop out on your phone screen, please click &quot;Allow&quot; button so Kestrune Relaypod can access your phone.</translation>
        </message>
        <message>
            <source>IDS_ROOT_LOCALDB</source>
            <translation>Local Databases</translation>
        </message>
        <message>
            <source>IDS_ROOT_MUST_HAVE_EXTENAL_STORAGE</source>
            <translation>Find no SD Card on Device.</translation>
        </message>
        <message>
            <source>IDS_ROOT_ROUTINE_FAILED_WILL_TRY_ADBBACKUP</source>
            <translation>Failed to backup data from your root device. Click &quot;OK&quot; button then the software will try again in another mode.</translation>
        </message>
        <message>
            <source>IDS_SAVE_ATTACHMENT</source>
            <translation>Save Attachment</translation>
        </message>
        <message>
            <source>IDS_SAVE_ATTACHMENT_FILE_ERROR</source>
            <translation>Failed to save attachment.</translation>
        </message>
        <message>
            <source>IDS_SAVE_ATTACHMENT_SUC</source>
            <translation>Attachment saved successfully.</translation>
        </message>
        <message>
            <source>IDS_SEL_EXPORT_MESSAGES_PATH</source>
            <translation>Please select Save Path for messages.</translation>
        </message>
        <message>
            <source>IDS_SEL_ONE_ANDROID_DEVICE</source>
            <translation>Please select an Android device:</translation>
        </message>
        <message>
            <source>IDS_SEL_ONE_PC_VIBER_ACCOUNT</source>
            <translation>Please select a Viber Desktop account:</translation>
        </message>
        <message>
            <source>IDS_SUC_BACKUP_%1_NEW_%2_ALREADY_THERE</source>
            <translation>Successfully backed up %1 new messages; %2 were already in the backup.</translation>
        </message>
        <message>
            <source>IDS_BACKUP_%1_PASSED_OVER</source>
            <translation>Left out: %1 (no chat, no sender in a group, or a call of a type a backup cannot keep).</translation>
        </message>
        <message>
            <source>IDS_BACKUP_%1_GONE_FROM_SOURCE</source>
            <translation>Gone from the source since its last complete backup, and kept here: %1.</translation>
        </message>
        <message>
            <source>IDS_GONE_FROM_SOURCE_SINCE_%1</source>
            <translation>Gone from the phone since %1 (kept in this database)</translation>
        </message>
        <message>
            <source>IDS_FLAG_GONE</source>
            <translation>Gone</translation>
        </message>
        <message>
            <source>IDS_READING_DATABASE_%1</source>
            <translation>Reading %1…</translation>
        </message>
        <message>
            <source>IDS_LAST_BACKUP_%1_%2</source>
            <translation>Last backup: %1, %2</translation>
        </message>
        <message>
            <source>IDS_NO_BACKUP_RUN_RECORDED</source>
            <translation>Last backup: none recorded</translation>
        </message>
        <message>
            <source>IDS_SUC_CLEAR_CACHE</source>
            <translation>Successfully cleared cache files.</translation>
        </message>
        <message>
            <source>IDS_SUC_DEL_%1_VIBER_MESSAGES</source>
            <translation>Successfully deleted %1 messages.</translation>
        </message>
        <message>
            <source>IDS_SUC_EXPORT_%1_CALLS</source>
            <translation>Successfully extracted %1 call history.</translation>
        </message>
        <message>
            <source>IDS_SUC_EXPORT_%1_MMS</source>
            <translation>Successfully exported %1 Messages.</translation>
        </message>
        <message>
            <source>IDS_SUC_EXTRACT_%1_MEDIA_FILES_TO_%2</source>
            <translation>Successfully extracted %1 attachments to %2.</translation>
        </message>
        <message>
            <source>IDS_EXTRACTED_%1_OF_%2_MEDIA_FILES_TO_%3</source>
            <translation>Extracted %1 of %2 attachments to %3; the files of the others are not on this computer or could not be copied.</translation>
        </message>
        <message>
            <source>IDS_NO_MEDIA_FILES_EXTRACTED_%1</source>
            <translation>No file was written: the files of the %1 attachments are not on this computer or could not be copied.</translation>
        </message>
        <message>
            <source>IDS_NO_MEDIA_FILES_FOUND</source>
            <translation>No file was written: the selected messages have no attachments.</translation>
        </message>
        <message>
            <source>IDS_SUC_RESTORE_%1_MESSAGES_TO_ANDROID</source>
            <translation>Successfully transferred %1 Messages to Android.</translation>
        </message>
        <message>
            <source>IDS_THERE_IS_NO_PC_VIBER_ACCOUNT</source>
            <translation>Can't find Viber Desktop data on your computer.</translation>
        </message>
        <message>
            <source>IDS_TITLE_SELECT_ONE_DEVICE_TO_TRANSFER</source>
            <translation>Please select a Device.</translation>
        </message>
        <message>
            <source>IDS_TITLE_SEL_OUTPUT_FOLDER_EXTRACT_MEDIA_FILES</source>
            <translation>Please select Save Path for media files.</translation>
        </message>
        <message>
            <source>IDS_CLEAR_CACHE_FAILED_%1</source>
            <translation>Some cache files could not be removed:

%1</translation>
        </message>
        <message>
            <source>IDS_AND_%1_MORE</source>
            <translation>... and %1 more</translation>
        </message>
        <message>
            <source>IDS_SHOW_PLACE_ON_OPENSTREETMAP</source>
            <translation>Show on OpenStreetMap</translation>
        </message>
        <message>
            <source>IDS_HTML_PREVIOUS_PAGE</source>
            <translation>&#x2190; Previous page</translation>
        </message>
        <message>
            <source>IDS_HTML_NEXT_PAGE</source>
            <translation>Next page &#x2192;</translation>
        </message>
        <message>
            <source>IDS_HTML_PAGE_%1_OF_%2</source>
            <translation>Page %1 of %2</translation>
        </message>
        <message>
            <source>IDS_HTML_MEDIA</source>
            <translation>Pictures and media</translation>
        </message>
        <message>
            <source>IDS_HTML_ALL_CHATS</source>
            <translation>All chats</translation>
        </message>
        <message>
            <source>IDS_HTML_JUMP_TO_DATE</source>
            <translation>Jump to:</translation>
        </message>
        <message>
            <source>IDS_UPLOADING_FILE_%1</source>
            <translation>Copying file %1...</translation>
        </message>
        <message>
            <source>IDS_WIFI_AGENT_TIPS</source>
            <translation>Velliport brings its own agent for the phone: nothing needs to be installed from an app store. A phone on WiFi answers only a computer it was paired with.</translation>
        </message>
        <message>
            <source>IDS_WIFI_CONNECT_STEPS</source>
            <translation>Plug the phone in by USB once and click &quot;Prepare for WiFi&quot; (or start velliport-agent --wifi in a terminal app on the phone and type the pairing code below). Then type the phone's WiFi address (for example 192.168.1.20) and click Connect.</translation>
        </message>
        <message>
            <source>IDS_WIFI_PAIRING_CODE_%1</source>
            <translation>Pairing code for a terminal on the phone: %1</translation>
        </message>
        <message>
            <source>IDS_WIFI_PREPARE_USB_PHONE</source>
            <translation>Prepare for WiFi</translation>
        </message>
        <message>
            <source>IDS_WIFI_SOCK_WRONG_FOR_EXAMPLE</source>
            <translation>Input Error. Please input the correct WiFi connection info.</translation>
        </message>
        <message>
            <source>IDS_WIFI_USB_PHONE_PREPARED</source>
            <translation>The phone is ready for WiFi. Type its WiFi address and click Connect; it can be unplugged now.</translation>
        </message>
        <message>
            <source>IDS_WORKER_ENDED_WITHOUT_RESULT</source>
            <translation>The operation ended without a result.</translation>
        </message>
    </context>
</TS>
