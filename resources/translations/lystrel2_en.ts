<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>CommandLine</name>
    <message>
        <source>%1: 不明なコマンド &apos;%2&apos;

</source>
        <translation>%1: unknown command &apos;%2&apos;

</translation>
    </message>
    <message>
        <source>%1: --command には NAME が必要です

</source>
        <translation>%1: --command needs a NAME

</translation>
    </message>
    <message>
        <source>%1: 不明なオプション &apos;%2&apos;
&apos;%1 --help&apos; で使い方を表示します.
</source>
        <translation>%1: unknown option &apos;%2&apos;
Try &apos;%1 --help&apos;.
</translation>
    </message>
    <message>
        <source>使い方: %1 [FILE]
        %1 --command NAME

FILE (なければ前回のファイル) を、起動中のプレーヤーか新しいプレーヤーで再生します.

  --command NAME  起動中のプレーヤーで機能を一つ実行します (デスクトップの
                  ショートカットなどから). NAME は下の名前か、その番号 1-24
  --help          この説明を表示します
  --version       バージョンを表示します
  --              オプションの終わり

コマンド:</source>
        <translation>Usage: %1 [FILE]
       %1 --command NAME

Plays FILE, or the file of the last run, in the running player or a new one.

  --command NAME  run one command in the running player, e.g. from a desktop
                  shortcut; NAME is one of the names below or its number 1-24
  --help          show this text
  --version       show the version
  --              end of the options

Commands:</translation>
    </message>
</context>
<context>
    <name>Error</name>
    <message>
        <source>ファイル読み込み時にエラーが発生しました</source>
        <translation>An error occurred while reading the file</translation>
    </message>
    <message>
        <source>メモリが足りません。</source>
        <translation>There is not enough memory.</translation>
    </message>
    <message>
        <source>ファイルを開けません。</source>
        <translation>The file cannot be opened.</translation>
    </message>
    <message>
        <source>サウンドデバイスを開けませんでした。</source>
        <translation>No sound device could be opened.</translation>
    </message>
    <message>
        <source>開いているファイルがありません。</source>
        <translation>No file is open.</translation>
    </message>
    <message>
        <source>サウンドデバイスがこの音の形式に対応していません。</source>
        <translation>The sound device does not support this sample format.</translation>
    </message>
    <message>
        <source>その位置はファイルの範囲外です。</source>
        <translation>That position is beyond the end of the file.</translation>
    </message>
    <message>
        <source>サウンド出力が準備されていません。</source>
        <translation>The sound output has not been set up.</translation>
    </message>
    <message>
        <source>サウンド出力はすでに準備されています。</source>
        <translation>The sound output is already set up.</translation>
    </message>
    <message>
        <source>不正な値が指定されました。</source>
        <translation>An invalid value was given.</translation>
    </message>
    <message>
        <source>再生されていません。</source>
        <translation>Nothing is playing.</translation>
    </message>
    <message>
        <source>求められたデータがありません。</source>
        <translation>The requested data is not available.</translation>
    </message>
    <message>
        <source>ファイルの形式に対応していません。</source>
        <translation>The file&apos;s format is not supported.</translation>
    </message>
    <message>
        <source>原因不明のエラーです。</source>
        <translation>An unknown error occurred.</translation>
    </message>
</context>
<context>
    <name>KeyBindingTab</name>
    <message>
        <source>登録するｷｰを押してから設定ボタンを押して下さい</source>
        <translation>Press the key to assign, then click Set</translation>
    </message>
    <message>
        <source>新しいｷｰ設定をするにはまず現在のｷｰを解除して下さい</source>
        <translation>To assign a new key, first clear the current one</translation>
    </message>
    <message>
        <source>機能：</source>
        <translation>Function:</translation>
    </message>
    <message>
        <source>新しいｷｰ設定：</source>
        <translation>New key:</translation>
    </message>
    <message>
        <source>現在のｷｰ設定：</source>
        <translation>Current key:</translation>
    </message>
    <message>
        <source>設定</source>
        <translation>Set</translation>
    </message>
    <message>
        <source>解除</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>このｷｰは既に他の機能に割り当てれれています</source>
        <translation>This key is already assigned to another function.</translation>
    </message>
    <message>
        <source>デスクトップのショートカット: %1</source>
        <translation>Desktop shortcut: %1</translation>
    </message>
    <message>
        <source>デスクトップのショートカット: なし</source>
        <translation>Desktop shortcut: none</translation>
    </message>
</context>
<context>
    <name>KeyNames</name>
    <message>
        <source>再生・停止</source>
        <translation>Play/Stop</translation>
    </message>
    <message>
        <source>早送り</source>
        <translation>Fast Forward</translation>
    </message>
    <message>
        <source>巻き戻し</source>
        <translation>Rewind</translation>
    </message>
    <message>
        <source>リセット</source>
        <translation>Back to Start</translation>
    </message>
    <message>
        <source>カウンタコピー</source>
        <translation>Copy Time</translation>
    </message>
    <message>
        <source>カウンタ指定</source>
        <translation>Go to Time</translation>
    </message>
    <message>
        <source>イコライザ120</source>
        <translation>EQ 120 Hz</translation>
    </message>
    <message>
        <source>イコライザ200</source>
        <translation>EQ 200 Hz</translation>
    </message>
    <message>
        <source>イコライザ400</source>
        <translation>EQ 400 Hz</translation>
    </message>
    <message>
        <source>イコライザ1.2K</source>
        <translation>EQ 1.2 kHz</translation>
    </message>
    <message>
        <source>イコライザ4K</source>
        <translation>EQ 4 kHz</translation>
    </message>
    <message>
        <source>イコライザ10K</source>
        <translation>EQ 10 kHz</translation>
    </message>
    <message>
        <source>A点 設定／解除</source>
        <translation>Set/Clear A</translation>
    </message>
    <message>
        <source>B点 設定／解除</source>
        <translation>Set/Clear B</translation>
    </message>
    <message>
        <source>音量アップ</source>
        <translation>Volume Up</translation>
    </message>
    <message>
        <source>音量ダウン</source>
        <translation>Volume Down</translation>
    </message>
    <message>
        <source>速度0.5倍</source>
        <translation>Speed 0.5x</translation>
    </message>
    <message>
        <source>速度1.0倍</source>
        <translation>Speed 1.0x</translation>
    </message>
    <message>
        <source>速度1.5倍</source>
        <translation>Speed 1.5x</translation>
    </message>
    <message>
        <source>速度2.0倍</source>
        <translation>Speed 2.0x</translation>
    </message>
    <message>
        <source>速度変更＋</source>
        <translation>Faster</translation>
    </message>
    <message>
        <source>速度変更－</source>
        <translation>Slower</translation>
    </message>
    <message>
        <source>ろ</source>
        <translation>Ro</translation>
    </message>
    <message>
        <source>無変換</source>
        <translation>Muhenkan</translation>
    </message>
    <message>
        <source>変換</source>
        <translation>Henkan</translation>
    </message>
    <message>
        <source>カタカナ</source>
        <translation>Katakana</translation>
    </message>
    <message>
        <source>半角/全角</source>
        <translation>Hankaku/Zenkaku</translation>
    </message>
    <message>
        <source>ペダル%1</source>
        <translation>Pedal %1</translation>
    </message>
    <message>
        <source>前のフレーズへ</source>
        <translation>Previous phrase</translation>
    </message>
    <message>
        <source>次のフレーズへ</source>
        <translation>Next phrase</translation>
    </message>
</context>
<context>
    <name>PedalProblem</name>
    <message>
        <source>他のプログラムが使用中</source>
        <translation>another program is using it</translation>
    </message>
    <message>
        <source>フットペダルを開けません。udev 規則を入れて挿し直して下さい</source>
        <translation>The foot pedal cannot be opened: install the udev rule and plug it in again.</translation>
    </message>
    <message>
        <source>フットペダルを他のプログラムが使っています</source>
        <translation>Another program is using the foot pedal.</translation>
    </message>
    <message>
        <source>フットペダルを読めません</source>
        <translation>The foot pedal cannot be read.</translation>
    </message>
    <message>
        <source>フットペダルのスイッチは %1 個まで使えます</source>
        <translation>Only %1 switches of a foot pedal can be used.</translation>
    </message>
    <message>
        <source>%1 を読む権限がありません。パッケージの /usr/lib/udev/rules.d/70-lystrel2-pedals.rules を入れてペダルを挿し直すか、input グループに入って下さい。</source>
        <translation>No permission to read %1. Install the package&apos;s /usr/lib/udev/rules.d/70-lystrel2-pedals.rules and plug the pedal in again, or join the input group.</translation>
    </message>
    <message>
        <source>%1 を占有できません（%2）。そのプログラムが手放せば使えるようになります。</source>
        <translation>%1 cannot be taken for this program alone (%2). It can be used once that program lets it go.</translation>
    </message>
    <message>
        <source>%1 を読めません（%2）。ペダルを挿し直して下さい。</source>
        <translation>%1 cannot be read (%2). Plug the pedal in again.</translation>
    </message>
    <message>
        <source>%1 にはスイッチが %2 個あります。使えるのは最初の %3 個です。</source>
        <translation>%1 has %2 switches. Only the first %3 can be used.</translation>
    </message>
</context>
<context>
    <name>PortalShortcuts</name>
    <message>
        <source>デスクトップのショートカット機能が終了しました。ホットキーは X11 のプログラムでのみ働きます。</source>
        <translation>The desktop&apos;s shortcut service has gone away: the hot keys work only in X11 programs.</translation>
    </message>
    <message>
        <source>デスクトップにグローバルショートカットの機能がありません (%1)。ホットキーは X11 のプログラムでのみ働きます。</source>
        <translation>The desktop offers no global shortcuts (%1): the hot keys work only in X11 programs.</translation>
    </message>
    <message>
        <source>デスクトップがグローバルショートカットを拒否しました。ホットキーは X11 のプログラムでのみ働きます。</source>
        <translation>The desktop refused the global shortcuts: the hot keys work only in X11 programs.</translation>
    </message>
</context>
<context>
    <name>TfrmAboutBox</name>
    <message>
        <source>バージョン情報</source>
        <translation>About Lystrel2</translation>
    </message>
</context>
<context>
    <name>TfrmAudioProp</name>
    <message>
        <source>設定</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>自動巻き戻し秒数</source>
        <translation>Auto-rewind (s)</translation>
    </message>
    <message>
        <source>早送・巻戻秒数</source>
        <translation>Skip step (s)</translation>
    </message>
    <message>
        <source>速度変更(単位：0.01)</source>
        <translation>Speed step (x 0.01)</translation>
    </message>
    <message>
        <source>リピート開始音</source>
        <translation>Sound before each repeat</translation>
    </message>
    <message>
        <source>リセット</source>
        <translation>None</translation>
    </message>
    <message>
        <source>参照</source>
        <translation>...</translation>
    </message>
    <message>
        <source>再生</source>
        <translation>Playback</translation>
    </message>
    <message>
        <source>ノンロックモードを有効にする（再生・停止キーのみ）</source>
        <translation>Play only while the Play/Stop key is held down</translation>
    </message>
    <message>
        <source>ｷｰ設定</source>
        <translation>Hot Keys</translation>
    </message>
    <message>
        <source>常に手前に表示</source>
        <translation>Always on top</translation>
    </message>
    <message>
        <source>表示</source>
        <translation>Display</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>ｷｬﾝｾﾙ</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>最近使ったファイルは、どの開き方でも前回の位置から再生</source>
        <translation>Resume recent files at their place however opened</translation>
    </message>
    <message>
        <source>停止時の巻き戻しを話の切れ目（フレーズの頭）に合わせる</source>
        <translation>Rewind a stop to the start of the phrase, at a pause</translation>
    </message>
</context>
<context>
    <name>TfrmMain</name>
    <message>
        <source>ファイル(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>開く(&amp;O)...</source>
        <translation>&amp;Open...</translation>
    </message>
    <message>
        <source>終了(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>プレーヤ(&amp;P)</source>
        <translation>&amp;Player</translation>
    </message>
    <message>
        <source>カウンタコピー(&amp;C)</source>
        <translation>&amp;Copy Time</translation>
    </message>
    <message>
        <source>カウンタ指定(&amp;P)...</source>
        <translation>&amp;Go to Time...</translation>
    </message>
    <message>
        <source>リピートA点の指定(&amp;A)</source>
        <translation>Set Repeat Point &amp;A</translation>
    </message>
    <message>
        <source>リピートB点の指定(&amp;B)</source>
        <translation>Set Repeat Point &amp;B</translation>
    </message>
    <message>
        <source>オプション(&amp;O)</source>
        <translation>&amp;Options</translation>
    </message>
    <message>
        <source>設定(&amp;S)...</source>
        <translation>&amp;Settings...</translation>
    </message>
    <message>
        <source>ヘルプ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>目次とキーワード(&amp;C)</source>
        <translation>&amp;Contents</translation>
    </message>
    <message>
        <source>バージョン情報(&amp;A)...</source>
        <translation>&amp;About Lystrel2...</translation>
    </message>
    <message>
        <source>常に手前に表示</source>
        <translation>Always on Top</translation>
    </message>
    <message>
        <source>フル モード</source>
        <translation>Full Mode</translation>
    </message>
    <message>
        <source>カウンタ表示モード</source>
        <translation>Counter Mode</translation>
    </message>
    <message>
        <source>再生／停止</source>
        <translation>Play/Stop</translation>
    </message>
    <message>
        <source>リセット</source>
        <translation>Back to Start</translation>
    </message>
    <message>
        <source>速度 =</source>
        <translation>Speed</translation>
    </message>
    <message>
        <source>クリックするとテンポを1.0倍に設定</source>
        <translation>Click to play at normal speed (1.0x)</translation>
    </message>
    <message>
        <source>倍</source>
        <translation>x</translation>
    </message>
    <message>
        <source>音程 = </source>
        <translation>Pitch</translation>
    </message>
    <message>
        <source>click to set Pitch Scaling to 0 semitones</source>
        <translation>Click to reset the pitch to 0 semitones</translation>
    </message>
    <message>
        <source>音量 =</source>
        <translation>Vol.</translation>
    </message>
    <message>
        <source>イコライザ</source>
        <translation>Equalizer</translation>
    </message>
    <message>
        <source>HTMLヘルプが起動出来ませんでした<byte value="xd"/>
</source>
        <translation>The help could not be opened.<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>ファイル名＝</source>
        <translation>File: </translation>
    </message>
    <message>
        <source>%1 に書き込めません.</source>
        <translation>Cannot write to %1.</translation>
    </message>
    <message>
        <source>Playable files</source>
        <translation>Playable files</translation>
    </message>
    <message>
        <source>音声ファイル</source>
        <translation>Sound files</translation>
    </message>
    <message>
        <source>動画の音声</source>
        <translation>Sound of videos</translation>
    </message>
    <message>
        <source>トラッカーモジュール</source>
        <translation>Tracker modules</translation>
    </message>
    <message>
        <source>All files</source>
        <translation>All files</translation>
    </message>
    <message>
        <source>ヘルプのファイルはここにあります: %1</source>
        <translation>The help file is %1</translation>
    </message>
    <message>
        <source>音声を出力できません。サウンドサーバーが現れると、すぐに音が出ます。

%1</source>
        <translation>No sound output is available. Sound will start as soon as a sound server appears.

%1</translation>
    </message>
    <message>
        <source>音声出力</source>
        <translation>Sound output</translation>
    </message>
    <message>
        <source>聞き取りやすく(&amp;L)</source>
        <translation>C&amp;larity</translation>
    </message>
    <message>
        <source>ノイズ除去(&amp;N)</source>
        <translation>&amp;Noise reduction</translation>
    </message>
    <message>
        <source>音量の自動調整(&amp;A)</source>
        <translation>&amp;Automatic level</translation>
    </message>
    <message>
        <source>両方のチャンネル(&amp;B)</source>
        <translation>&amp;Both channels</translation>
    </message>
    <message>
        <source>左チャンネルのみ(&amp;L)</source>
        <translation>&amp;Left channel only</translation>
    </message>
    <message>
        <source>右チャンネルのみ(&amp;R)</source>
        <translation>&amp;Right channel only</translation>
    </message>
    <message>
        <source>除去</source>
        <translation>NR</translation>
    </message>
    <message>
        <source>自動</source>
        <translation>AL</translation>
    </message>
    <message>
        <source>左</source>
        <translation>L</translation>
    </message>
    <message>
        <source>右</source>
        <translation>R</translation>
    </message>
    <message>
        <source>最近使ったファイル(&amp;R)</source>
        <translation>&amp;Recent files</translation>
    </message>
    <message>
        <source>一覧を消去(&amp;C)</source>
        <translation>&amp;Clear list</translation>
    </message>
    <message>
        <source>波形(&amp;W)</source>
        <translation>&amp;Waveform</translation>
    </message>
</context>
<context>
    <name>TfrmSetCounter</name>
    <message>
        <source>ｶｳﾝﾀ指定</source>
        <translation>Go to Time</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>%1 は自分専用のフォルダではないため使えません.</source>
        <translation>%1 is not a folder of your own, so it cannot be used.</translation>
    </message>
    <message>
        <source>起動中かどうかを確かめるロックファイルを開けません: %1</source>
        <translation>The lock file that tells whether the player is already running cannot be opened: %1</translation>
    </message>
    <message>
        <source>プレーヤーはダイアログかメッセージを開いています. 閉じてからやり直して下さい.</source>
        <translation>the player is busy: a dialog or a message box is open; close it and try again.</translation>
    </message>
    <message>
        <source>起動中のプレーヤーが 2 秒以内に応答しませんでした.</source>
        <translation>the running player did not answer within 2 seconds.</translation>
    </message>
    <message>
        <source>起動中のプレーヤーがありません. 先に起動して下さい.</source>
        <translation>no running player answered; start it first.</translation>
    </message>
    <message>
        <source>起動中のプレーヤーが応答しませんでした.</source>
        <translation>the running instance did not answer.</translation>
    </message>
</context>
</TS>
