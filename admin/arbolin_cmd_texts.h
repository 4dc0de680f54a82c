// ArbolinCmd's own numbered texts (8700-8803): its help, its messages and what they say to do.
// The Key and Notes messages it shares with the window are the product's (text_ids.h).
#pragma once

#define IDS_CMD_ERROR                   8700  // "ArbolinCmd: %s\n": every message on standard error
#define IDS_CMD_USAGE_COMMANDS          8701  // --help: the program and its single-Key commands
#define IDS_CMD_USAGE_MORE_COMMANDS     8702  // --help: the other commands
#define IDS_CMD_USAGE_SECRETS           8703  // --help: the sources of secrets
#define IDS_CMD_USAGE_BATCH             8704  // --help: the batch file and its report
#define IDS_CMD_USAGE_EXIT_CODES        8705  // --help: the exit codes
#define IDS_CMD_NO_COMMAND              8706
#define IDS_CMD_UNKNOWN_COMMAND         8707
#define IDS_CMD_UNEXPECTED_ARGUMENT     8708
#define IDS_CMD_NEEDS_VALUE             8709
#define IDS_CMD_UNKNOWN_OPTION          8710
#define IDS_CMD_INSTALL_KEY_LIBRARY     8711
#define IDS_CMD_NEEDS_OPTION            8712
#define IDS_CMD_YES_WITHOUT_PASSWORD    8713
#define IDS_CMD_PIN_ACCEPTED            8714
#define IDS_CMD_NO_PIN_ASKED            8715
#define IDS_CMD_ATTACHED                8716
#define IDS_CMD_SHOW_EMPTY              8717
#define IDS_CMD_SHOW                    8718
#define IDS_CMD_NOTHING_TO_DETACH       8719
#define IDS_CMD_DETACH_FAILED           8720
#define IDS_CMD_SAVED                   8721
#define IDS_CMD_PASSWORD_EITHER         8722
#define IDS_CMD_NO_ID_FILE              8723
#define IDS_CMD_GIVE_ANOTHER_PASSWORD   8724
#define IDS_CMD_PASSWORD_KEPT           8725
#define IDS_CMD_PASSWORD_CHANGED        8726
#define IDS_CMD_PASSWORD_GENERATED      8727
#define IDS_CMD_CHECK_KEY               8728
#define IDS_CMD_LABEL_TOO_LONG          8729
#define IDS_CMD_LABEL_SET               8730
#define IDS_CMD_PIN_MISMATCH            8731
#define IDS_CMD_PIN_RULE_HINT           8732
#define IDS_CMD_NOT_BLOCKED             8733
#define IDS_CMD_CHECK_PIN               8734
#define IDS_CMD_UNBLOCKED               8735
#define IDS_CMD_CLEARED                 8736
#define IDS_CMD_LIST_COLUMNS            8737  // the table's column heads, separated by '|'
#define IDS_CMD_PIN_NEEDED              8738
#define IDS_CMD_BIOMETRIC_CHECK         8739
#define IDS_CMD_CANNOT_ASK              8740
#define IDS_CMD_NOT_CONFIRMED           8741
#define IDS_CMD_YES_NO                  8742
#define IDS_CMD_NO_KEY                  8743
#define IDS_CMD_WHICH_KEY               8744
#define IDS_CMD_KEY_UNKNOWN             8745
#define IDS_CMD_INSERT_AGAIN            8746
#define IDS_CMD_KEY_PULLED              8747
#define IDS_CMD_UNBLOCK_HINT            8748
#define IDS_CMD_KEY_NOT_USABLE          8749
#define IDS_CMD_ASKS_PIN                8750
#define IDS_CMD_PIN_HINT_OPTION         8751
#define IDS_CMD_PIN_HINT_ROW            8752
#define IDS_CMD_WHAT_PIN                8753
#define IDS_CMD_WHAT_PASSWORD           8754
#define IDS_CMD_WHAT_NEW_PIN            8755
#define IDS_CMD_WHAT_NEW_PIN_AGAIN      8756
#define IDS_CMD_WHAT_NEW_PASSWORD       8757
#define IDS_CMD_WHAT_NEW_PASSWORD_AGAIN 8758
#define IDS_CMD_WHAT_RIGHT_PIN          8759
#define IDS_CMD_PIN_LENGTH              8760
#define IDS_CMD_PIN_REFUSED_HINT        8761
#define IDS_CMD_UNREADABLE_HINT         8762
#define IDS_CMD_BIO_HINT                8763
#define IDS_CMD_READ_HINT               8764
#define IDS_CMD_ID_FILE_HINT            8765
#define IDS_CMD_INI_HINT                8766
#define IDS_CMD_RESTORE_HINT            8767
#define IDS_CMD_RESTORE_FAILED_HINT     8768
#define IDS_CMD_PASSWORD_REFUSED        8769
#define IDS_CMD_SECRET_FILE_UNREADABLE  8770
#define IDS_CMD_NO_SOURCE               8771
#define IDS_CMD_OR_NONE                 8772
#define IDS_CMD_SECRET_FILE_OPEN        8773
#define IDS_CMD_SECRETS_LINE            8774
#define IDS_CMD_STDIN_ENDED             8775
#define IDS_CMD_CANNOT_PROMPT           8776
#define IDS_CMD_NO_SECRETS_FILE         8777
#define IDS_CMD_NO_SECRET_ENTRY         8778
#define IDS_CMD_WAIT_SECONDS            8779
#define IDS_CMD_BATCH_UNREADABLE        8780
#define IDS_CMD_BATCH_LINE              8781
#define IDS_CMD_REPORT_UNUSABLE         8782
#define IDS_CMD_REPORT_NOT_WRITTEN      8783
#define IDS_CMD_BATCH_START             8784
#define IDS_CMD_KEY_IN_NO_ROW           8785
#define IDS_CMD_ROW_DONE_BEFORE         8786
#define IDS_CMD_ROW_DONE                8787
#define IDS_CMD_ROW_FAILED              8788
#define IDS_CMD_SUMMARY                 8789
#define IDS_CMD_NOT_EVERY_ROW           8790
#define IDS_CMD_KEY_HEAD                8791  // "%s, Key %s: ": a batch line's reader and Key
#define IDS_CMD_KEY_HEAD_LABELLED       8792  // "%s, Key %s (%s): ": the same for a labelled Key
#define IDS_CMD_USAGE_LAST_COMMANDS     8793  // --help: the last commands
#define IDS_CMD_CSV_EMPTY               8794
#define IDS_CMD_CSV_UNKNOWN_COLUMN      8795
#define IDS_CMD_CSV_MISSING_COLUMN      8796
#define IDS_CMD_CSV_FIELD_COUNT         8797
#define IDS_CMD_CSV_EMPTY_FIELD         8798
#define IDS_CMD_CSV_KEY_TWICE           8799
#define IDS_CMD_CSV_QUOTE               8800
#define IDS_CMD_REPORT_NOT_A_REPORT     8801
#define IDS_CMD_REPORT_LINE             8802
#define IDS_CMD_REPORT_UNREADABLE       8803
