<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>Command</name>
    <message>
        <source>%1 を待っています (%2 秒間進みません)</source>
        <translation>waiting for %1 (no progress for %2 s)</translation>
    </message>
    <message>
        <source>検索を中断しました: それまでに見つかったファイルを出力します。ページは書き込みません</source>
        <translation>the search was stopped: the hits found until then are printed, no page is written</translation>
    </message>
    <message>
        <source>検索を中断しました: それまでに見つかったファイルを出力します</source>
        <translation>the search was stopped: the hits found until then are printed</translation>
    </message>
</context>
<context>
    <name>Commands</name>
    <message>
        <source>検索結果フォームを閉じる</source>
        <translation>Close Results</translation>
    </message>
    <message>
        <source>検索結果の表示フォームを閉じます。</source>
        <translation>Closes this window of search results.</translation>
    </message>
    <message>
        <source>検索結果を見易くする場合などに、使用して下さい （ 作成するＨＴＭＬとは無関係 ）。</source>
        <translation>Lays the results out to be read more easily (the HTML page is not affected).</translation>
    </message>
    <message>
        <source>行列数設定 (&amp;G)</source>
        <translation>&amp;Grid</translation>
    </message>
    <message>
        <source>行表示数</source>
        <translation>Rows</translation>
    </message>
    <message>
        <source>列表示数</source>
        <translation>Columns</translation>
    </message>
    <message>
        <source>１行</source>
        <translation>1 Row</translation>
    </message>
    <message>
        <source>２行</source>
        <translation>2 Rows</translation>
    </message>
    <message>
        <source>３行</source>
        <translation>3 Rows</translation>
    </message>
    <message>
        <source>４行</source>
        <translation>4 Rows</translation>
    </message>
    <message>
        <source>５行</source>
        <translation>5 Rows</translation>
    </message>
    <message>
        <source>６行</source>
        <translation>6 Rows</translation>
    </message>
    <message>
        <source>７行</source>
        <translation>7 Rows</translation>
    </message>
    <message>
        <source>８行</source>
        <translation>8 Rows</translation>
    </message>
    <message>
        <source>９行</source>
        <translation>9 Rows</translation>
    </message>
    <message>
        <source>10行</source>
        <translation>10 Rows</translation>
    </message>
    <message>
        <source>11行</source>
        <translation>11 Rows</translation>
    </message>
    <message>
        <source>12行</source>
        <translation>12 Rows</translation>
    </message>
    <message>
        <source>13行</source>
        <translation>13 Rows</translation>
    </message>
    <message>
        <source>14行</source>
        <translation>14 Rows</translation>
    </message>
    <message>
        <source>15行</source>
        <translation>15 Rows</translation>
    </message>
    <message>
        <source>１列</source>
        <translation>1 Column</translation>
    </message>
    <message>
        <source>２列</source>
        <translation>2 Columns</translation>
    </message>
    <message>
        <source>３列</source>
        <translation>3 Columns</translation>
    </message>
    <message>
        <source>４列</source>
        <translation>4 Columns</translation>
    </message>
    <message>
        <source>５列</source>
        <translation>5 Columns</translation>
    </message>
    <message>
        <source>６列</source>
        <translation>6 Columns</translation>
    </message>
    <message>
        <source>７列</source>
        <translation>7 Columns</translation>
    </message>
    <message>
        <source>開く</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>格納フォルダを開く</source>
        <translation>Open Containing Folder</translation>
    </message>
    <message>
        <source>ファイルを格納しているフォルダを、ファイルを選択した状態で開きます。</source>
        <translation>Opens the folder that holds the file, with the file selected.</translation>
    </message>
    <message>
        <source>パスをコピー</source>
        <translation>Copy Path</translation>
    </message>
    <message>
        <source>名前をコピー</source>
        <translation>Copy Name</translation>
    </message>
    <message>
        <source>終了 (&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>ヘルプ</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>使用方法などの説明を行います。</source>
        <translation>Explains how to use the program.</translation>
    </message>
    <message>
        <source>ヌバロ について (&amp;A)</source>
        <translation>&amp;About Tavolix</translation>
    </message>
    <message>
        <source> Ｔａｖｏｌｉｘ（ ヌバロ ）の バージョン情報を表示します。</source>
        <translation> Shows which version of Tavolix this is.</translation>
    </message>
    <message>
        <source>検索・作成＆保存 (&amp;O)</source>
        <translation>Search &amp;&amp; &amp;Output</translation>
    </message>
    <message>
        <source>概要：①指定に基づき検索、②HTML形式のファイル作成・保存、③WWWブラウザで閲覧</source>
        <translation>In short: 1. search as you specify, 2. write the hits as an HTML page, 3. read it in a web browser</translation>
    </message>
    <message>
        <source>検索開始</source>
        <translation>Start Search</translation>
    </message>
    <message>
        <source>指定に基づき、検索を開始 | 指定に基づき、検索を開始 （ サブ・ディレクトリーも検索 ）</source>
        <translation>Starts a search as specified | Starts a search as specified (subdirectories included)</translation>
    </message>
    <message>
        <source>HTML自動作成＆保存</source>
        <translation>Save as HTML Page</translation>
    </message>
    <message>
        <source>検索結果を、ＨＴＭＬ形式で自動作成して保存 | 検索結果は、ＨＴＭＬ形式で作成して保存しないと、ＷＷＷブラウザで閲覧できません。</source>
        <translation>Writes the results as an HTML page and saves it | The results can be read in a web browser once they are saved as an HTML page.</translation>
    </message>
    <message>
        <source>全てのファイルを対象</source>
        <translation>All files</translation>
    </message>
    <message>
        <source>プログラム・ファイルを対象</source>
        <translation>Program files</translation>
    </message>
    <message>
        <source>テキスト・ファイルを対象</source>
        <translation>Text files</translation>
    </message>
    <message>
        <source>ＩＮＩ ファイルを対象</source>
        <translation>INI files</translation>
    </message>
    <message>
        <source>ヘルプ・ファイルを対象</source>
        <translation>Help files</translation>
    </message>
    <message>
        <source>ビットマップ・ファイルを対象</source>
        <translation>Bitmap files</translation>
    </message>
    <message>
        <source>メタ・ファイルを対象</source>
        <translation>Metafiles</translation>
    </message>
    <message>
        <source>アイコン・ファイルを対象</source>
        <translation>Icon files</translation>
    </message>
    <message>
        <source>スクリーン・セーバー・ファイルを対象</source>
        <translation>Screen saver files</translation>
    </message>
    <message>
        <source>カーソル・ファイルを対象</source>
        <translation>Cursor files</translation>
    </message>
    <message>
        <source>（インターネット関係）  ＨＴＭ ドキュメント・ファイルを対象</source>
        <translation>(Internet)  HTM documents</translation>
    </message>
    <message>
        <source>（インターネット関係）  ＨＴＭＬ ドキュメント・ファイルを対象</source>
        <translation>(Internet)  HTML documents</translation>
    </message>
    <message>
        <source>（インターネット関係）  ＧＩＦ イメージ・ファイルを対象</source>
        <translation>(Internet)  GIF images</translation>
    </message>
    <message>
        <source>（インターネット関係）  ＪＰＧ イメージ・ファイルを対象</source>
        <translation>(Internet)  JPG images</translation>
    </message>
    <message>
        <source>（インターネット関係）  ＪＰＥＧ イメージ・ファイルを対象</source>
        <translation>(Internet)  JPEG images</translation>
    </message>
    <message>
        <source>ＷＡＶＥ サウンド・ファイルを対象</source>
        <translation>WAVE sounds</translation>
    </message>
    <message>
        <source>ＡＵ サウンドクリップ・ファイルを対象</source>
        <translation>AU sound clips</translation>
    </message>
    <message>
        <source>ＭＩＤＩ シーケンス・ファイルを対象</source>
        <translation>MIDI sequences</translation>
    </message>
    <message>
        <source>ヌバロ を終了</source>
        <translation>Quit Tavolix</translation>
    </message>
    <message>
        <source> Ｔａｖｏｌｉｘ（ ヌバロ ）を、終了します。</source>
        <translation> Quits Tavolix.</translation>
    </message>
    <message>
        <source>簡易検索キー (&amp;K)</source>
        <translation>Quick &amp;Keys</translation>
    </message>
    <message>
        <source>指定キー入力エリア用の「簡易検索キー」を選択後、直ぐに検索処理を開始します。</source>
        <translation>Puts a ready-made key in the key box and starts the search at once.</translation>
    </message>
    <message>
        <source>検索結果を、ＨＴＭＬ形式で自動作成して保存します。</source>
        <translation>Writes the results as an HTML page and saves it.</translation>
    </message>
    <message>
        <source>作成ﾃﾞｰﾀ (&amp;D)</source>
        <translation>Save&amp;d Pages</translation>
    </message>
    <message>
        <source>過去に作成＆保存したデータです。クリックすると、ＷＷＷブラウザで閲覧できます。</source>
        <translation>The pages written and saved before. Click one to read it in the web browser.</translation>
    </message>
    <message>
        <source>ｳｨﾝﾄﾞｳ (&amp;W)</source>
        <translation>&amp;Window</translation>
    </message>
    <message>
        <source>検索結果フォームの表示に関する変更 （ 作成するＨＴＭＬとは無関係 ）</source>
        <translation>How the result windows are shown (the HTML pages are not affected)</translation>
    </message>
    <message>
        <source>ディレクトリ表示／非表示</source>
        <translation>Show/Hide Folders</translation>
    </message>
    <message>
        <source>ディレクトリ・パネルの表示・非表示を切替えます。</source>
        <translation>Shows or hides the folder panel.</translation>
    </message>
    <message>
        <source>並べて表示 (&amp;T)</source>
        <translation>&amp;Tile</translation>
    </message>
    <message>
        <source>検索結果を、タイル表示 （ 続けて選択すると、横表示・縦表示を切替え ）</source>
        <translation>Tiles the result windows (choose it again to switch between side by side and one above the other)</translation>
    </message>
    <message>
        <source>重ねて表示 (&amp;C)</source>
        <translation>&amp;Cascade</translation>
    </message>
    <message>
        <source>検索結果を、カスケード表示</source>
        <translation>Cascades the result windows</translation>
    </message>
    <message>
        <source>次の Child Form (&amp;D)</source>
        <translation>Next Win&amp;dow</translation>
    </message>
    <message>
        <source>次の検索結果を、前面に表示</source>
        <translation>Brings the next result window to the front</translation>
    </message>
    <message>
        <source>最大化 (&amp;X)</source>
        <translation>Ma&amp;ximize</translation>
    </message>
    <message>
        <source>検索結果を、最大フォーム・サイズで表示</source>
        <translation>Shows the result window at its largest</translation>
    </message>
    <message>
        <source>ノーマル化 (&amp;N)</source>
        <translation>&amp;Normal Size</translation>
    </message>
    <message>
        <source>検索結果を、普通サイズで表示 （ 最大化・アイコン化を解除 ）</source>
        <translation>Shows the result windows at their normal size (neither maximized nor minimized)</translation>
    </message>
    <message>
        <source>アイコン化 (&amp;M)</source>
        <translation>&amp;Minimize All</translation>
    </message>
    <message>
        <source>全ての検索結果を、アイコン化</source>
        <translation>Minimizes every result window</translation>
    </message>
    <message>
        <source>アイコン整列 (&amp;A)</source>
        <translation>&amp;Arrange Icons</translation>
    </message>
    <message>
        <source>アイコン化時の整列</source>
        <translation>Lines up the minimized result windows</translation>
    </message>
    <message>
        <source>ｻﾑﾈｲﾙ表示 (&amp;P)</source>
        <translation>&amp;Pictures</translation>
    </message>
    <message>
        <source>JPEG・PNG・WebP・SVG・PDF などの画像も、縮小して表示します | 縮小画像は別のプロセスで作成し、共通のサムネイル・キャッシュに保存します （ 新しい検索結果にも適用 ）。</source>
        <translation>Draws JPEG, PNG, WebP, SVG, PDF and other pictures small too | Made in a process of their own and kept in the shared thumbnail cache (new result windows too).</translation>
    </message>
    <message>
        <source>検索ｵﾌﾟｼｮﾝ (&amp;S)</source>
        <translation>&amp;Search Options</translation>
    </message>
    <message>
        <source>検索するフォルダの範囲を変更します。（ 設定ファイルに保存され、tavolix-page と共通 ）</source>
        <translation>Changes which folders are searched (kept in the settings file, shared with tavolix-page)</translation>
    </message>
    <message>
        <source>隠しフォルダ（ . で始まる名前 ）も検索 (&amp;H)</source>
        <translation>Search &amp;Hidden Folders (names beginning with .)</translation>
    </message>
    <message>
        <source>名前が「 . 」で始まるフォルダも検索します （ オフの時は、検索しなかったフォルダの数を表示 ）。</source>
        <translation>Searches folders whose names begin with &quot;.&quot; too. When off, the results count the folders left out.</translation>
    </message>
    <message>
        <source>１つのファイルシステム内だけを検索 (&amp;X)</source>
        <translation>&amp;One File System Only</translation>
    </message>
    <message>
        <source>検索ディレクトリと別のファイルシステム（ ネットワーク、ＵＳＢ メモリなど ）にあるフォルダは、検索しません。</source>
        <translation>Folders on another file system than the directory (a network share, a USB stick) are left out.</translation>
    </message>
    <message>
        <source>除外するフォルダ (&amp;E)...</source>
        <translation>&amp;Exclude Folders...</translation>
    </message>
    <message>
        <source>検索しないフォルダの名前やパスを、指定キーと同じワイルドカードで指定します。</source>
        <translation>The names or paths of folders not to search, with the same wildcards as the key.</translation>
    </message>
    <message>
        <source>ｻﾑﾈｲﾙ付きHTML (&amp;T)</source>
        <translation>Page with &amp;Thumbnails</translation>
    </message>
    <message>
        <source>ＨＴＭＬの画像を、縮小画像（サムネイル）で作成します | 縮小画像は、ＨＴＭＬと同じ名前のフォルダ （ ～.files ） に保存し、元のファイルにリンクします。</source>
        <translation>Writes the page&apos;s pictures as thumbnails | JPEG, PNG, WebP, SVG, PDF... as thumbnails linked to their files, kept in NAME.files.</translation>
    </message>
    <message>
        <source>選択したファイルを、関連付けられたプログラムで開きます。</source>
        <translation>Opens the selected files, each with the program that goes with it.</translation>
    </message>
    <message>
        <source>選択したファイルのパスを、１行に１つコピーします （ ファイル・マネージャーにはファイルとして ）。</source>
        <translation>Copies the paths of the selected files, one a line (a file manager pastes them as files).</translation>
    </message>
    <message>
        <source>選択したファイルの名前を（ １行に１つ ）、クリップボードにコピーします。</source>
        <translation>Copies the names of the selected files to the clipboard, one a line.</translation>
    </message>
    <message>
        <source>詳細表示 (&amp;L)</source>
        <translation>Detai&amp;ls</translation>
    </message>
    <message>
        <source>１行に１ファイルを、フォルダ・サイズ・更新日時・種類と共に表示します | 見出しのクリックで並べ替え、見出しの境界のドラッグで列の幅を変更します （ 新しい検索結果にも適用 ）。</source>
        <translation>Shows one file a row, with its folder, size, date and type | Click a title to sort by it; drag a title&apos;s edge to change the width (new results windows too).</translation>
    </message>
    <message>
        <source>並べ替え (&amp;R)</source>
        <translation>So&amp;rt</translation>
    </message>
    <message>
        <source>検索結果の並び順を変更します （ 作成するＨＴＭＬも、この順 ）。</source>
        <translation>Changes the order of the results (the HTML page follows it).</translation>
    </message>
    <message>
        <source>フォルダ順 (&amp;D)</source>
        <translation>By &amp;Folder</translation>
    </message>
    <message>
        <source>ディレクトリーで並べ替えます。</source>
        <translation>Sorts by folder.</translation>
    </message>
    <message>
        <source>名前順 (&amp;N)</source>
        <translation>By &amp;Name</translation>
    </message>
    <message>
        <source>名前で並べ替えます。</source>
        <translation>Sorts by name.</translation>
    </message>
    <message>
        <source>拡張子順 (&amp;E)</source>
        <translation>By &amp;Extension</translation>
    </message>
    <message>
        <source>拡張子で並べ替えます。</source>
        <translation>Sorts by extension.</translation>
    </message>
    <message>
        <source>サイズ順 (&amp;S)</source>
        <translation>By &amp;Size</translation>
    </message>
    <message>
        <source>ファイルサイズで並べ替えます。</source>
        <translation>Sorts by file size.</translation>
    </message>
    <message>
        <source>更新日時順 (&amp;T)</source>
        <translation>By &amp;Time</translation>
    </message>
    <message>
        <source>更新日時で並べ替えます。</source>
        <translation>Sorts by the time the file was last changed.</translation>
    </message>
    <message>
        <source>逆順 (&amp;V)</source>
        <translation>Re&amp;verse</translation>
    </message>
    <message>
        <source>ｻﾑﾈｲﾙ表示の画像の大きさ | 列の数は、ウィンドウの幅に合わせて決まります （ 新しい検索結果にも適用 ）。</source>
        <translation>Size of the pictures | The window&apos;s width decides how many columns fit (new results follow).</translation>
    </message>
    <message>
        <source>小さいｻﾑﾈｲﾙ</source>
        <translation>Small Pictures</translation>
    </message>
    <message>
        <source>中くらいのｻﾑﾈｲﾙ</source>
        <translation>Medium Pictures</translation>
    </message>
    <message>
        <source>大きいｻﾑﾈｲﾙ</source>
        <translation>Large Pictures</translation>
    </message>
    <message>
        <source>ｻﾑﾈｲﾙを大きく</source>
        <translation>Larger Pictures</translation>
    </message>
    <message>
        <source>ｻﾑﾈｲﾙを小さく</source>
        <translation>Smaller Pictures</translation>
    </message>
    <message>
        <source>昇順・降順を切替えます。</source>
        <translation>Switches between ascending and descending order.</translation>
    </message>
    <message>
        <source>「 ; 」で区切って複数のキーを指定 (&amp;L)</source>
        <translation>Key &amp;Lists (Keys Separated by &quot;;&quot;)</translation>
    </message>
    <message>
        <source>「 ; 」で区切った複数のキーの、どれかに合うファイルを検索します （ 例 ＝ *.jpg;*.png ）。</source>
        <translation>Finds files matching any of the keys separated by &quot;;&quot; (e.g. *.jpg;*.png); off, &quot;;&quot; is part of the key.</translation>
    </message>
    <message>
        <source>絞り込み行の表示／非表示 (&amp;F)</source>
        <translation>&amp;Filter Row</translation>
    </message>
    <message>
        <source>種類・サイズ・更新日時で検索結果を絞り込む行を、表示・非表示します （ 表示中だけ絞り込み ）。</source>
        <translation>Shows or hides the row that filters the hits by kind, size and time of change (it filters only while shown).</translation>
    </message>
    <message>
        <source>再検索 (&amp;A)</source>
        <translation>Search &amp;Again</translation>
    </message>
    <message>
        <source>同じフォルダ・キー・絞り込み・検索ｵﾌﾟｼｮﾝで、このウィンドウの検索をやり直します | 表示方法と並び順は、そのまま保ちます。</source>
        <translation>Runs this window&apos;s search again with its folder, key, filters and options | The view and the order stay as they are.</translation>
    </message>
</context>
<context>
    <name>Filters</name>
    <message>
        <source>画像</source>
        <translation>pictures</translation>
    </message>
    <message>
        <source>動画</source>
        <translation>videos</translation>
    </message>
    <message>
        <source>音楽</source>
        <translation>music</translation>
    </message>
    <message>
        <source>文書</source>
        <translation>documents</translation>
    </message>
    <message>
        <source>アーカイブ</source>
        <translation>archives</translation>
    </message>
    <message>
        <source>プログラム</source>
        <translation>programs</translation>
    </message>
    <message>
        <source>・</source>
        <translation>, </translation>
    </message>
    <message>
        <source>種類 = %1</source>
        <translation>kinds = %1</translation>
    </message>
    <message>
        <source>%1 以上</source>
        <translation>at least %1</translation>
    </message>
    <message>
        <source>%1 以下</source>
        <translation>at most %1</translation>
    </message>
    <message>
        <source>%1 以降に更新</source>
        <translation>changed since %1</translation>
    </message>
    <message>
        <source>%1 以内に更新</source>
        <translation>changed within %1</translation>
    </message>
    <message>
        <source>%1 より前に更新</source>
        <translation>changed before %1</translation>
    </message>
    <message>
        <source>%1 以上前に更新</source>
        <translation>changed %1 or more ago</translation>
    </message>
    <message>
        <source>「 ; 」で区切った複数のキー</source>
        <translation>several keys separated by &quot;;&quot;</translation>
    </message>
    <message>
        <source> ， </source>
        <translation>; </translation>
    </message>
</context>
<context>
    <name>MessageBoxes</name>
    <message>
        <source>はい(&amp;Y)</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>いいえ(&amp;N)</source>
        <translation>&amp;No</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>ｷｬﾝｾﾙ</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Tavolix ヌバロ</source>
        <translation>Tavolix</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>ｴﾗｰ</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>情報</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>確認</source>
        <translation>Confirm</translation>
    </message>
</context>
<context>
    <name>Page</name>
    <message>
        <source>ＴＡＶＯＬＩＸ：( %1 ) 編集結果</source>
        <translation>TAVOLIX: ( %1 ) Search Results</translation>
    </message>
    <message>
        <source>検索対象ディレクトリ = %1</source>
        <translation>Directory searched = %1</translation>
    </message>
    <message>
        <source>指定検索キー  =  %1</source>
        <translation>Search key  =  %1</translation>
    </message>
    <message>
        <source>ファイル数合計 = %1 ；  サイズ合計 = %2 Bytes</source>
        <translation>Files in total = %1 ;  Total size = %2 Bytes</translation>
    </message>
    <message>
        <source>指定検索キー  =  %1  （ %2 ）</source>
        <translation>Search key  =  %1  ( %2 )</translation>
    </message>
</context>
<context>
    <name>SavedPages</name>
    <message>
        <source> 検索ベース = %1  ; キー = %2  ; 検索数 = %3</source>
        <translation> Searched in = %1  ; Key = %2  ; Found = %3</translation>
    </message>
    <message>
        <source>%1 が応答しません。</source>
        <translation>%1 does not answer.</translation>
    </message>
    <message>
        <source>%1 に書き込めません</source>
        <translation>Cannot write to %1</translation>
    </message>
    <message>
        <source>&quot;%1&quot; は改行を含むため、作成データに登録できません</source>
        <translation>&quot;%1&quot; holds a line break, so it cannot be added to the saved pages</translation>
    </message>
    <message>
        <source>&quot;%1&quot; は %2 バイトより長いため、作成データに登録できません</source>
        <translation>&quot;%1&quot; is longer than %2 bytes, so it cannot be added to the saved pages</translation>
    </message>
    <message>
        <source>&quot;%1&quot; は前後に空白があるため、作成データに登録できません</source>
        <translation>&quot;%1&quot; begins or ends with a blank, so it cannot be added to the saved pages</translation>
    </message>
    <message>
        <source>%1 を読み込めません (%2)</source>
        <translation>Cannot read %1 (%2)</translation>
    </message>
    <message>
        <source>作成データ（ＨＴＭＬファイル）は、未登録です。 <byte value="xd"/>
<byte value="xd"/>
作成＆保存後、クリックして下さい。</source>
        <translation>No page (HTML file) has been saved here yet. <byte value="xd"/>
<byte value="xd"/>
Click here once a page has been written and saved.</translation>
    </message>
    <message>
        <source>%1 が見つかりません。 <byte value="xd"/>
<byte value="xd"/>
移動、あるいは、削除されませんでしたか ？</source>
        <translation>%1 was not found. <byte value="xd"/>
<byte value="xd"/>
Has it been moved or deleted?</translation>
    </message>
</context>
<context>
    <name>Walk</name>
    <message>
        <source>アクセス拒否 %1</source>
        <translation>permission denied: %1</translation>
    </message>
    <message>
        <source>アクセス拒否</source>
        <translation>permission denied</translation>
    </message>
    <message>
        <source>応答なし %1</source>
        <translation>not answering: %1</translation>
    </message>
    <message>
        <source>応答なし</source>
        <translation>not answering</translation>
    </message>
    <message>
        <source>読み込みエラー %1</source>
        <translation>read errors: %1</translation>
    </message>
    <message>
        <source>読み込みエラー</source>
        <translation>read error</translation>
    </message>
    <message>
        <source>開けるファイル数の上限 %1</source>
        <translation>too many open files: %1</translation>
    </message>
    <message>
        <source>開けるファイル数の上限</source>
        <translation>too many open files</translation>
    </message>
    <message>
        <source> ， </source>
        <translation>, </translation>
    </message>
    <message>
        <source>読み込めなかったフォルダ %1 （ %2 ）</source>
        <translation>Folders not read: %1 (%2)</translation>
    </message>
    <message>
        <source> ， 一部のみ読み込み</source>
        <translation>, read only in part</translation>
    </message>
    <message>
        <source>%1 （ %2 ）</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>ドットで始まる名前 %1</source>
        <translation>name begins with a dot: %1</translation>
    </message>
    <message>
        <source>除外 %1</source>
        <translation>excluded: %1</translation>
    </message>
    <message>
        <source>別のファイルシステム %1</source>
        <translation>another file system: %1</translation>
    </message>
    <message>
        <source>検索しなかったフォルダ %1 （ %2 ）</source>
        <translation>Folders not searched: %1 (%2)</translation>
    </message>
</context>
<context>
    <name>tavolix::app::TAboutBox</name>
    <message>
        <source>ﾊﾞｰｼﾞｮﾝ情報</source>
        <translation>About Tavolix</translation>
    </message>
    <message>
        <source>バージョン %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>指定キーに合うファイルを、ディレクトリ
とその下のサブ・ディレクトリから探し、
検索結果をＨＴＭＬ形式で作成・保存して、
ＷＷＷブラウザで閲覧できるようにします。</source>
        <translation>Finds the files that match a key in a directory and every directory below it, and saves them as an HTML page to be read in a web browser.</translation>
    </message>
    <message>
        <source>画像ヘルパーはサンドボックスなしで動いています（このカーネルにはその仕組みがありません）。</source>
        <translation>The picture helper runs without its sandbox (this kernel has neither Landlock nor seccomp).</translation>
    </message>
    <message>
        <source>画像ヘルパーはファイルを閉ざせずに動いています（このカーネルには Landlock がありません）。</source>
        <translation>The picture helper runs with the files open to it (this kernel has no Landlock).</translation>
    </message>
    <message>
        <source>画像ヘルパーはシステムコールを絞れずに動いています（このカーネルには seccomp がありません）。</source>
        <translation>The picture helper runs without its system call filter (this kernel has no seccomp).</translation>
    </message>
</context>
<context>
    <name>tavolix::app::TDriveComboBox</name>
    <message>
        <source>ホーム （ %1 ）</source>
        <translation>Home ( %1 )</translation>
    </message>
</context>
<context>
    <name>tavolix::app::TExcludeForm</name>
    <message>
        <source>除外するフォルダ</source>
        <translation>Excluded Folders</translation>
    </message>
    <message>
        <source>検索しないフォルダを、１行に１つずつ入力して下さい。
フォルダ名（ 例 ＝ node_modules ）、または「 / 」を含む
検索ディレクトリからのパス（ 例 ＝ */cache ）を、
指定キーと同じワイルドカード「 ＊ 」「 ？ 」で指定します。</source>
        <translation>Type the folders not to search, one a line: a folder&apos;s
name (for example node_modules) or, holding a &quot;/&quot;,
a path below the directory searched (for example
*/cache), with the wildcards &quot; * &quot; and &quot; ? &quot; of the key.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; は「;」を含むため、保存できません。</source>
        <translation>&quot;%1&quot; holds a &quot;;&quot;, so the list cannot be saved.</translation>
    </message>
    <message>
        <source>改行を含むパターンがあるため、保存できません。</source>
        <translation>A pattern holds a line break, so the list cannot be saved.</translation>
    </message>
    <message>
        <source>全体が %1 バイトより長いため、保存できません。</source>
        <translation>The list is longer than %1 bytes, so it cannot be saved.</translation>
    </message>
</context>
<context>
    <name>tavolix::app::TFilterRow</name>
    <message>
        <source>ファイルの種類（ 拡張子で判断 ）を選びます。何も選ばない時は、全ての種類。</source>
        <translation>Chooses the kinds of file (told by their extension). None chosen: every kind.</translation>
    </message>
    <message>
        <source>サイズ</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>バイト数。k、M、G （ 1000 倍ずつ ）や Ki、Mi、Gi （ 1024 倍ずつ ）を付けられます。例 ＝ 500k、10M、1Gi</source>
        <translation>Bytes, optionally followed by k, M, G (steps of 1000) or Ki, Mi, Gi (steps of 1024). E.g. 500k, 10M, 1Gi</translation>
    </message>
    <message>
        <source>例 10M</source>
        <translation>e.g. 10M</translation>
    </message>
    <message>
        <source>以上</source>
        <translation>or more</translation>
    </message>
    <message>
        <source>以下</source>
        <translation>or less</translation>
    </message>
    <message>
        <source>更新日時</source>
        <translation>Changed</translation>
    </message>
    <message>
        <source>指定なし</source>
        <translation>any time</translation>
    </message>
    <message>
        <source>最近 n 時間以内</source>
        <translation>within the last n hours</translation>
    </message>
    <message>
        <source>最近 n 日以内</source>
        <translation>within the last n days</translation>
    </message>
    <message>
        <source>n 日以上前</source>
        <translation>n days ago or earlier</translation>
    </message>
    <message>
        <source>この日以降</source>
        <translation>on or after this day</translation>
    </message>
    <message>
        <source>この日より前</source>
        <translation>before this day</translation>
    </message>
    <message>
        <source>その日の 0 時 （ この機械の時刻 ） が境目です。</source>
        <translation>The day begins at midnight (this computer&apos;s time).</translation>
    </message>
    <message>
        <source>種類 ： %1</source>
        <translation>Kinds: %1</translation>
    </message>
    <message>
        <source>すべて</source>
        <translation>all</translation>
    </message>
    <message>
        <source>・</source>
        <translation>/</translation>
    </message>
</context>
<context>
    <name>tavolix::app::TFrameMemory</name>
    <message>
        <source>最後の検索ディレクトリ・指定キー・絞り込みなどは、次の起動まで残りません。</source>
        <translation>The last search folder, key, filters and the like will not be remembered for the next start.</translation>
    </message>
</context>
<context>
    <name>tavolix::app::TMDIForm</name>
    <message>
        <source> Tavolix ヌバロ</source>
        <translation> Tavolix</translation>
    </message>
    <message>
        <source>指定キーを入力（ 例 ＝ ａ＊．ｇ＊ ）| 指定キーを、ＤＯＳのワイルドカード「 ＊ 」を用いて、入力して下さい。</source>
        <translation>Type a key (for example a*.g*)| Type the key with the DOS wildcard &quot; * &quot;.</translation>
    </message>
    <message>
        <source>基準とするディレクトリを、マウスのクリックや、キーボードの矢印キーで選択して下さい。</source>
        <translation>Choose the directory to search in with the mouse or the arrow keys.</translation>
    </message>
    <message>
        <source>ドライブを変更する時に、使用して下さい。</source>
        <translation>Choose another drive here.</translation>
    </message>
    <message>
        <source>ヘルプファイル %1 が見つかりません。</source>
        <translation>The help file %1 was not found.</translation>
    </message>
    <message>
        <source>検索対象 ＝ %1</source>
        <translation>Search in = %1</translation>
    </message>
    <message>
        <source>作成データは空のまま始め、このファイルには書き込みません。</source>
        <translation>The saved pages start empty, and this file is not written to.</translation>
    </message>
    <message>
        <source>お疲れさま !!  終了しますか ? </source>
        <translation>Quit Tavolix?</translation>
    </message>
    <message>
        <source>保存すべきデータがありません。<byte value="xd"/>
<byte value="xd"/>
検索を行った後で、ボタンを押下して下さい。</source>
        <translation>There are no results to save.<byte value="xd"/>
<byte value="xd"/>
Search first, then press the button.</translation>
    </message>
    <message>
        <source>ほかのメニュー</source>
        <translation>More Menus</translation>
    </message>
    <message>
        <source>%1 ファイルを対象</source>
        <translation>%1 files</translation>
    </message>
    <message>
        <source>%1 ファイル （ %2 ） を対象</source>
        <translation>%1 files (%2)</translation>
    </message>
</context>
<context>
    <name>tavolix::app::TWalkChoices</name>
    <message>
        <source>サイズ 「 %1 」 を読めません。<byte value="xd"/>
<byte value="xd"/>
バイト数に、k、M、G （ 1000 倍ずつ ）や Ki、Mi、Gi （ 1024 倍ずつ ）を付けて下さい。例 ＝ 500k、10M、1Gi</source>
        <translation>The size &quot;%1&quot; can&apos;t be read.<byte value="xd"/>
<byte value="xd"/>
Give bytes, optionally followed by k, M, G (steps of 1000) or Ki, Mi, Gi (steps of 1024). E.g. 500k, 10M, 1Gi</translation>
    </message>
    <message>
        <source>絞り込みの値 「 %1 」 を読めません。</source>
        <translation>The filter value &quot;%1&quot; can&apos;t be read.</translation>
    </message>
</context>
<context>
    <name>tavolix::dirtree::TDirTreeViewS</name>
    <message>
        <source>%1 （読み込み中…）</source>
        <translation>%1 (reading…)</translation>
    </message>
    <message>
        <source>%1 （応答なし）</source>
        <translation>%1 (not answering)</translation>
    </message>
</context>
<context>
    <name>tavolix::hitview::TFileListModel</name>
    <message>
        <source>%1 ， フォルダ %2 ， %3 バイト ， 更新日時 %4</source>
        <translation>%1, folder %2, %3 bytes, modified %4</translation>
    </message>
</context>
<context>
    <name>tavolix::hitview::TSearchProgressForm</name>
    <message>
        <source>一生懸命検索しています。しばらくお待ち下さい。</source>
        <translation>Searching, please wait…</translation>
    </message>
    <message>
        <source>集計数 ： %1</source>
        <translation>Files found : %1</translation>
    </message>
</context>
<context>
    <name>tavolix::results::TDetailsView</name>
    <message>
        <source>名前</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>フォルダ</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>サイズ</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>更新日時</source>
        <translation>Modified</translation>
    </message>
    <message>
        <source>種類</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>ファイル</source>
        <translation>File</translation>
    </message>
    <message>
        <source>%1 ファイル</source>
        <translation>%1 file</translation>
    </message>
    <message>
        <source>%1 へのリンク</source>
        <translation>Link to %1</translation>
    </message>
</context>
<context>
    <name>tavolix::results::TMDIChild</name>
    <message>
        <source>ソート項目をクリックすると、検索結果を並べ替え | 検索結果をＨＴＭＬ形式で作成・保存する前に、処理して下さい。</source>
        <translation>Click a column title to sort the results | Sort the results before you save them as an HTML page.</translation>
    </message>
    <message>
        <source>使用されたソート方法と検索数 |</source>
        <translation>The order of the results and their count |</translation>
    </message>
    <message>
        <source> 検索ディレクトリ = %1 , 指定キー = %2</source>
        <translation> Directory = %1 , Key = %2</translation>
    </message>
    <message>
        <source>（中断）</source>
        <translation> (stopped)</translation>
    </message>
    <message>
        <source>ほか %1 フォルダ</source>
        <translation>and %1 more folders</translation>
    </message>
    <message>
        <source>検索ディレクトリ  %1  を読み込めません。<byte value="xd"/>
<byte value="xd"/>
%2</source>
        <translation>The directory  %1  cannot be read.<byte value="xd"/>
<byte value="xd"/>
%2</translation>
    </message>
    <message>
        <source>指定キー  %1  に<byte value="xd"/>
<byte value="xd"/>
該当するファイルは見つかりませんでした。</source>
        <translation>No files match the key  %1 .</translation>
    </message>
    <message>
        <source>クリックは、右の項目から選択して下さい。<byte value="xd"/>
<byte value="xd"/>
(選択可能項目)<byte value="xd"/>
<byte value="xd"/>
 Directory : ディレクトリーでソート<byte value="xd"/>
 Name      : 名前でソート<byte value="xd"/>
 Ext       : 拡張子でソート<byte value="xd"/>
 Size      : ファイルサイズでソート<byte value="xd"/>
 Time      : 更新日時でソート<byte value="xd"/>
<byte value="xd"/>
続けて同じ項目をクリックすると、昇順・降順表示が切り替わります。</source>
        <translation>Click one of the titles to the right.<byte value="xd"/>
<byte value="xd"/>
(Titles you can click)<byte value="xd"/>
<byte value="xd"/>
 Directory : sort by directory<byte value="xd"/>
 Name      : sort by name<byte value="xd"/>
 Ext       : sort by extension<byte value="xd"/>
 Size      : sort by file size<byte value="xd"/>
 Time      : sort by modification time<byte value="xd"/>
<byte value="xd"/>
Click the same title again to switch between ascending and descending order.</translation>
    </message>
    <message>
        <source>%1 に書き込めません<byte value="xd"/>
<byte value="xd"/>
%2</source>
        <translation>Cannot write to %1<byte value="xd"/>
<byte value="xd"/>
%2</translation>
    </message>
    <message>
        <source>作成した %1 ファイルを、<byte value="xd"/>
<byte value="xd"/>
直ちにブラウザで閲覧しますか ? </source>
        <translation>The page %1 has been written.<byte value="xd"/>
<byte value="xd"/>
Read it in the web browser now? </translation>
    </message>
    <message>
        <source>後で、閲覧する場合は、<byte value="xd"/>
メニューバーの「 作成データ（Ｄ）」から、<byte value="xd"/>
%1 ファイルを選択して下さい。<byte value="xd"/>
<byte value="xd"/>
また、エクスプローラから、作成ファイルを<byte value="xd"/>
ダブルクリックしての閲覧も可能です。</source>
        <translation>To read it later, choose<byte value="xd"/>
%1 in the menu &quot;Saved Pages&quot;.<byte value="xd"/>
<byte value="xd"/>
You can also open the page<byte value="xd"/>
by double-clicking it in a file manager.</translation>
    </message>
    <message>
        <source>フレームの「検索ｵﾌﾟｼｮﾝ (&amp;S)」メニューで、検索するフォルダの範囲を変更できます。</source>
        <translation>The Search Options menu of the main window changes which folders are searched.</translation>
    </message>
    <message>
        <source>ＨＴＭＬを作成しています。しばらくお待ち下さい。</source>
        <translation>Writing the HTML page, please wait…</translation>
    </message>
    <message>
        <source>作成数 ： %1 / %2</source>
        <translation>Thumbnails made : %1 / %2</translation>
    </message>
    <message>
        <source>%1 個選択</source>
        <translation>%1 selected</translation>
    </message>
    <message>
        <source>Upword</source>
        <translation>Ascending</translation>
    </message>
    <message>
        <source>Down</source>
        <translation>Descending</translation>
    </message>
    <message>
        <source>Directrory</source>
        <translation>Directory</translation>
    </message>
    <message>
        <source>選択した %1 個のファイルを、それぞれのプログラムで開きます。<byte value="xd"/>
<byte value="xd"/>
よろしいですか ?</source>
        <translation>This opens the %1 selected files, each with its program.<byte value="xd"/>
<byte value="xd"/>
Go ahead?</translation>
    </message>
    <message>
        <source>  （ %1 ）</source>
        <translation>  ( %1 )</translation>
    </message>
    <message>
        <source>絞り込み ： %1</source>
        <translation>Filtered: %1</translation>
    </message>
    <message>
        <source>「 ; 」もキーの一部として検索しました。「 ; 」で区切った複数のキーとして検索するには、検索ｵﾌﾟｼｮﾝ の「「 ; 」で区切って複数のキーを指定」をオンにして下さい。</source>
        <translation>&quot;;&quot; was searched as part of the key. To search the keys separated by &quot;;&quot;, turn on &quot;Key Lists&quot; in the Search Options menu.</translation>
    </message>
    <message>
        <source>中止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>検索を中止します （ Esc ） | 見つかったファイルは、そのまま表示します。</source>
        <translation>Stops the search (Esc) | The files found so far stay in the window.</translation>
    </message>
    <message>
        <source> 検索中 … ; Total Files = %1 ; Size = %2 Bytes</source>
        <translation> Searching… ; Total Files = %1 ; Size = %2 Bytes</translation>
    </message>
    <message>
        <source>検索中 ： %1</source>
        <translation>Searching: %1</translation>
    </message>
    <message>
        <source>検索中です。<byte value="xd"/>
<byte value="xd"/>
検索が終わってから、ＨＴＭＬを作成して下さい。</source>
        <translation>The search is still running.<byte value="xd"/>
<byte value="xd"/>
Write the HTML page when it has ended.</translation>
    </message>
</context>
<context>
    <name>tavolix::results::TPictureView</name>
    <message>
        <source>表示できません</source>
        <translation>not available</translation>
    </message>
</context>
</TS>
